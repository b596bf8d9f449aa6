#pragma once

namespace zarn {

// The answer of a notification-permission query: whether notifications are enabled, and the
// platform's authorisation status (2 is authorised).
class ZarnPNotificationsEnabledCallback {
  public:
    // initWithValues:authorizationStatus:
    ZarnPNotificationsEnabledCallback(bool enabled, int authorizationStatus)
        : enabled_(enabled), authorizationStatus_(authorizationStatus) {}

    bool enabled() const { return enabled_; }
    void setEnabled(bool v) { enabled_ = v; }
    int authorizationStatus() const { return authorizationStatus_; }
    void setAuthorizationStatus(int v) { authorizationStatus_ = v; }

  private:
    bool enabled_ = false;
    int authorizationStatus_ = 0;
};

}  // namespace zarn
