#pragma once
#include <memory>

#include "core/ZarnPLocation.h"

namespace zarn {

// A position with the horizontal accuracy of its fix, in metres.
class ZarnPLocationWithAccuracy : public ZarnPLocation {
  public:
    ZarnPLocationWithAccuracy() = default;
    ZarnPLocationWithAccuracy(double latitude, double longitude, double accuracy)
        : ZarnPLocation(latitude, longitude), accuracy_(accuracy) {}

    static std::shared_ptr<ZarnPLocationWithAccuracy> locationLat(double latitude, double longitude,
                                                                  double accuracy);

    double accuracy() const { return accuracy_; }
    void setAccuracy(double v) { accuracy_ = v; }

    // True only for a ZarnPLocationWithAccuracy with exactly equal latitude, longitude and
    // accuracy.
    bool isEqual(const ZarnPLocation& other) const override;

  private:
    double accuracy_ = 0;
};

}  // namespace zarn
