#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Error.h"
#include "zarn/NotificationRequest.h"
#include "zarn/platform/NotificationAuthorization.h"

namespace zarn::platform {

// What an authorisation request asks for, as bits that may be combined.
enum NotificationAuthorizationOptions : unsigned {
    kNotificationAuthorizationBadge = 1,
    kNotificationAuthorizationSound = 2,
    kNotificationAuthorizationAlert = 4,
    kNotificationAuthorizationProvisional = 64,
};

// How a notification that arrives while the app is in the foreground is presented, as bits.
enum NotificationPresentationOptions : unsigned {
    kNotificationPresentationNone = 0,
    kNotificationPresentationBadge = 1,
    kNotificationPresentationSound = 2,
    kNotificationPresentationAlert = 4,
};

// Hears the user's side of local notifications. The centre holds it weakly.
class LocalNotificationCenterDelegate {
  public:
    virtual ~LocalNotificationCenterDelegate() = default;
    LocalNotificationCenterDelegate() = default;
    LocalNotificationCenterDelegate(const LocalNotificationCenterDelegate&) = delete;
    LocalNotificationCenterDelegate& operator=(const LocalNotificationCenterDelegate&) = delete;

    // A notification is delivered while the app is in the foreground. Called on the main thread;
    // call `completion` once, on any thread, with the presentation options (a combination of
    // NotificationPresentationOptions). Not calling it shows nothing.
    virtual void willPresentNotification(const Notification& notification,
                                         std::function<void(unsigned options)> completion) = 0;
    // The user answered a delivered notification (a tap is the default action). Called on the
    // main thread; call `completion` once, on any thread, when the answer has been taken.
    virtual void didReceiveNotificationResponse(const NotificationResponse& response,
                                                std::function<void()> completion) = 0;

    // Whether this delegate takes part in each of the two calls above. A delegate that chained
    // itself in front of another asks these before forwarding; one that answers NO is treated
    // as having no such operation. Any thread; must not block.
    virtual bool respondsToWillPresentNotification() const { return true; }
    virtual bool respondsToDidReceiveNotificationResponse() const { return true; }
};

// The system's centre of local notifications: the app's and the library's requests side by
// side, pending until their trigger is due and then delivered. The settings query is the one of
// NotificationAuthorization. Every method may be called from any thread and returns at once;
// completions are called exactly once, later, on a thread of the centre's choosing (never inside
// the call).
class LocalNotificationCenter : public NotificationAuthorization {
  public:
    // Schedules `request`: without a trigger it is delivered at once, with one when its time
    // interval has passed. A pending request with the same identifier is replaced. The
    // completion (may be empty) receives nothing on success, or the error when the system
    // refused the request (nothing is then scheduled).
    virtual void addNotificationRequest(NotificationRequest request,
                                        std::function<void(std::optional<Error>)> completion) = 0;
    // The pending requests (not yet delivered), the app's included, in the order they were
    // added. On failure the list is empty.
    virtual void getPendingNotificationRequests(
        std::function<void(std::vector<NotificationRequest>)> completion) = 0;
    // Removes the pending requests with these identifiers; unknown identifiers are ignored and
    // delivered notifications are not touched.
    virtual void removePendingNotificationRequests(const std::vector<std::string>& identifiers) = 0;
    // Asks the user for permission (a combination of NotificationAuthorizationOptions). The
    // completion receives whether it was granted and the system's error, if any; a refusal
    // without an error is the user's answer.
    virtual void requestAuthorization(unsigned options,
                                      std::function<void(bool granted, std::optional<Error>)> completion) = 0;

    // The delegate, or null when none is set or it is gone.
    virtual std::shared_ptr<LocalNotificationCenterDelegate> delegate() = 0;
    // Replaces the delegate (held weakly); later deliveries and answers go to the new one.
    //
    // At initialisation the library reads delegate() and sets its own, keeping the earlier one
    // (strongly from then on). Its own notifications (their userInfo has "notificationHandlerType")
    // it presents with alert and sound and handles when tapped; every other notification goes to
    // that earlier delegate when it takes part in the call (respondsTo...), else it is presented
    // with no options, or its answer completed at once. So an app sets its own delegate before
    // initialising the library; one set afterwards replaces the library's, whose taps then go
    // unheard.
    virtual void setDelegate(std::weak_ptr<LocalNotificationCenterDelegate> delegate) = 0;
};

}  // namespace zarn::platform
