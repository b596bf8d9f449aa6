#pragma once
#include <memory>
#include <string>
#include <vector>

namespace zarn {

class ZarnPEvent;
class ZarnPLocationWithAccuracy;
class ZarnPStoreEventsAndLoadNotificationsDelegate;
class ZarnPStoreEventsDelegate;

// What travels with a request and comes back at its completion. One of the two delegates is set.
struct ZarnPStoreEventsTag {
    std::shared_ptr<ZarnPStoreEventsAndLoadNotificationsDelegate> loadDelegate;
    std::shared_ptr<ZarnPStoreEventsDelegate> storeDelegate;
    std::vector<std::shared_ptr<ZarnPEvent>> events;
    std::shared_ptr<ZarnPLocationWithAccuracy> location;  // kept, not read back
    std::string publicToken;
};

}  // namespace zarn
