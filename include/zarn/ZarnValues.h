#pragma once
#include <memory>
#include <optional>
#include <string>

#include "zarn/Date.h"
#include "zarn/Value.h"

namespace zarn {

// A notification that the library showed: the shown request's userInfo and when it was sent
// and opened.
class ZarnSentNotification {
  public:
    static std::shared_ptr<ZarnSentNotification> initializeWithUserInfo(Value userInfo, Date dateSent,
                                                                        std::optional<Date> dateOpened);
    const Value& userInfo() const { return userInfo_; }
    Date dateSent() const { return dateSent_; }
    std::optional<Date> dateOpened() const { return dateOpened_; }
    std::string description() const;

  private:
    Value userInfo_;
    Date dateSent_;
    std::optional<Date> dateOpened_;
};

// A geotrigger that the library handed to the app, with when it was sent and handled.
class ZarnSentGeotrigger {
  public:
    static std::shared_ptr<ZarnSentGeotrigger> initializeWithUserInfo(Value userInfo, Date dateSent,
                                                                      std::optional<Date> dateHandled);
    const Value& userInfo() const { return userInfo_; }
    Date dateSent() const { return dateSent_; }
    std::optional<Date> dateHandled() const { return dateHandled_; }
    std::string description() const;

  private:
    Value userInfo_;
    Date dateSent_;
    std::optional<Date> dateHandled_;
};

// A geotrigger offered to the app: the userInfo a geotrigger's notification would carry.
class ZarnGeotrigger {
  public:
    // A userInfo nested deeper than kMaxUserInfoDepth is logged and ignored (the geotrigger keeps
    // an empty one, or the one it had), before it is copied.
    static std::shared_ptr<ZarnGeotrigger> initializeWithUserInfo(const Value& userInfo);
    static std::shared_ptr<ZarnGeotrigger> initializeWithUserInfo(Value&& userInfo);
    const Value& userInfo() const { return userInfo_; }
    void setUserInfo(const Value& userInfo);
    void setUserInfo(Value&& userInfo);
    std::string description() const;

  private:
    Value userInfo_ = Value::object();
};

// A position in degrees with its accuracy in metres.
class ZarnLocationWithAccuracy {
  public:
    ZarnLocationWithAccuracy() = default;
    static std::shared_ptr<ZarnLocationWithAccuracy> initWithLatitude(double latitude, double longitude,
                                                                      double accuracy);
    double latitude = 0;
    double longitude = 0;
    double accuracy = 0;
    std::string description() const;
};

}  // namespace zarn
