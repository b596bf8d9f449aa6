#pragma once
#include <memory>
#include <vector>

namespace zarn {

class ZarnPEvent;

// The events waiting to be sent to the service. SDK thread only.
class ZarnPEventDao {
  public:
    virtual ~ZarnPEventDao() = default;
    virtual void deleteEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events) = 0;
    virtual void deleteAllEvents() = 0;
    virtual void saveEvent(const ZarnPEvent& event) = 0;
    // Stores the event and keeps only the `limit` newest events of its type, as one commit.
    virtual void saveEvent(const ZarnPEvent& event, int limit) = 0;
    // At most 100 events, the "notification_sent" ones first.
    virtual std::vector<std::shared_ptr<ZarnPEvent>> getEvents() = 0;
    virtual int getEventCount() = 0;
    // Keeps only the `limit` newest events of the type.
    virtual void limitEventsOfType(unsigned eventType, int limit) = 0;
};

}  // namespace zarn
