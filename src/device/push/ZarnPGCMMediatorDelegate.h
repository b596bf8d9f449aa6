#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// Hears that a pushed data update was saved. SDK thread only.
class ZarnPGCMMediatorDelegate {
  public:
    virtual ~ZarnPGCMMediatorDelegate() = default;
    virtual void loadPushedNotificationsCompleted(const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
