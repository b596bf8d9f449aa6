#pragma once
#include <vector>

#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"

namespace zarn {

// The one check on how deeply a value from the app nests. Copying, comparing and writing a
// value each recurse once per level, so a value nested far enough overflows the stack in any of
// them; each entry that takes a value from the app asks here first, before it copies the value.
// The check itself keeps one entry per open level on the heap and stops past the bound.
// Stateless; any thread.
class ZarnPValueDepth {
  public:
    // Whether `value` nests at most `maxDepth` dictionaries and arrays inside one another.
    static bool isWithin(const Value& value, int maxDepth);
    // True when `value` is within `maxDepth`; otherwise logs at ERROR in `domain` "Ignoring
    // <what>: nested deeper than <maxDepth> levels" and answers false.
    static bool accept(const Value& value, int maxDepth, const char* domain, const char* what);
    // Copies of the requests whose userInfo is within kMaxUserInfoDepth, in order; each other
    // one is logged as by accept() and left out.
    static std::vector<NotificationRequest> acceptedRequests(const std::vector<NotificationRequest>& requests,
                                                             const char* domain);
};

}  // namespace zarn
