#pragma once

namespace zarn {

// Creates the platform's location managers for the location wrappers.
class ZarnPLocationManagerCreator {
  public:
    virtual ~ZarnPLocationManagerCreator() = default;
};

// PLACEHOLDER until the location wrappers are built: creates nothing yet.
class ZarnPLocationManagerCreatorImpl final : public ZarnPLocationManagerCreator {};

}  // namespace zarn
