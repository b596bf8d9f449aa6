#pragma once

namespace zarn {

// Creates the HTTP requests of the transport.
class ZarnPHttpRequestCreator {
  public:
    virtual ~ZarnPHttpRequestCreator() = default;
};

// PLACEHOLDER until the HTTP transport is built: creates nothing yet.
class ZarnPHttpRequestCreatorImpl final : public ZarnPHttpRequestCreator {};

}  // namespace zarn
