#include "core/ZarnPValueDepth.h"

#include <utility>
#include <vector>

#include "core/ZarnPLogger.h"

namespace zarn {

bool ZarnPValueDepth::isWithin(const Value& value, int maxDepth) {
    if (!value.is_structured())
        return true;
    if (maxDepth < 1)
        return false;
    // The containers being walked, outermost first, each with its next child.
    std::vector<std::pair<Value::const_iterator, Value::const_iterator>> open;
    open.reserve(static_cast<size_t>(maxDepth));
    open.emplace_back(value.cbegin(), value.cend());
    while (!open.empty()) {
        auto& [next, end] = open.back();
        if (next == end) {
            open.pop_back();
            continue;
        }
        const Value& child = *next;
        ++next;
        if (!child.is_structured())
            continue;
        if (open.size() >= static_cast<size_t>(maxDepth))
            return false;
        open.emplace_back(child.cbegin(), child.cend());
    }
    return true;
}

bool ZarnPValueDepth::accept(const Value& value, int maxDepth, const char* domain, const char* what) {
    if (isWithin(value, maxDepth))
        return true;
    LogError(domain, "Ignoring %@: nested deeper than %d levels", what, maxDepth);
    return false;
}

std::vector<NotificationRequest> ZarnPValueDepth::acceptedRequests(
    const std::vector<NotificationRequest>& requests, const char* domain) {
    std::vector<NotificationRequest> out;
    out.reserve(requests.size());
    for (const auto& request : requests)
        if (accept(request.content.userInfo, kMaxUserInfoDepth, domain, "a notification request's userInfo"))
            out.push_back(request);
    return out;
}

}  // namespace zarn
