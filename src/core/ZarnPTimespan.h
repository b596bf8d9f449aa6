#pragma once
#include <optional>
#include <string>

#include "zarn/Date.h"

namespace zarn {

// A period in which a campaign is active; a missing bound is open.
class ZarnPTimespan {
  public:
    ZarnPTimespan() = default;
    ZarnPTimespan(std::optional<Date> start, std::optional<Date> end) : start_(start), end_(end) {}

    const std::optional<Date>& start() const { return start_; }
    void setStart(std::optional<Date> v) { start_ = v; }
    const std::optional<Date>& end() const { return end_; }
    void setEnd(std::optional<Date> v) { end_ = v; }

    // NO before a set start or after a set end, YES otherwise: both bounds are inclusive.
    bool isDateBetween(Date date) const;

    bool operator==(const ZarnPTimespan&) const = default;
    std::string description() const;

  private:
    std::optional<Date> start_;
    std::optional<Date> end_;
};

}  // namespace zarn
