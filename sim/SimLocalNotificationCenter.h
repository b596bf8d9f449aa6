#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimNotificationAuthorization.h"
#include "sim/World.h"
#include "zarn/platform/LocalNotificationCenter.h"

namespace zarn::sim {

// The device's local-notification centre. Pending requests wait for their time interval on a
// timer of the main run loop (virtual time in tests) and then join the delivered list; a request
// added under a pending identifier replaces it. The app's requests and the library's share the
// lists. Completions and delegate calls are posted to the main run loop. Settings are those of
// the device's notification authorisation, which a granted or refused request updates.
//
// A test scripts the answers (authorisation, a refused add), reads what was asked, and taps a
// delivered notification. Any thread.
class SimLocalNotificationCenter : public platform::LocalNotificationCenter,
                                   public std::enable_shared_from_this<SimLocalNotificationCenter> {
  public:
    SimLocalNotificationCenter(std::shared_ptr<World> world,
                               std::shared_ptr<SimNotificationAuthorization> authorization);

    // platform::LocalNotificationCenter
    void getNotificationSettings(
        std::function<void(platform::NotificationAuthorizationStatus)> completion) override;
    void addNotificationRequest(NotificationRequest request,
                                std::function<void(std::optional<Error>)> completion) override;
    void getPendingNotificationRequests(
        std::function<void(std::vector<NotificationRequest>)> completion) override;
    void removePendingNotificationRequests(const std::vector<std::string>& identifiers) override;
    void requestAuthorization(unsigned options,
                              std::function<void(bool, std::optional<Error>)> completion) override;
    std::shared_ptr<platform::LocalNotificationCenterDelegate> delegate() override;
    void setDelegate(std::weak_ptr<platform::LocalNotificationCenterDelegate> delegate) override;

    // Scripted answers. The next authorisation requests are answered with `granted` (and
    // `error`); granting sets the status to authorised, or provisional when only that was asked
    // with the provisional option; refusing sets it to denied.
    void setAuthorizationAnswer(bool granted, std::optional<Error> error = std::nullopt);
    // While set, every add is refused with this error.
    void setAddFailure(std::optional<Error> error);
    // Called with the identifiers of each removal once it is made, on the caller's thread with
    // nothing of the centre held: the moment the system has been told. An empty hook removes it.
    void setRemoveHook(std::function<void(const std::vector<std::string>&)> hook);

    // What was asked.
    std::vector<unsigned> authorizationRequests();
    std::vector<NotificationRequest> addedRequests();
    std::vector<std::vector<std::string>> removeCalls();
    std::vector<NotificationRequest> pendingRequests();
    std::vector<Notification> deliveredNotifications();
    // Presentation options answered by the delegate, one per foreground delivery.
    std::vector<unsigned> presentationAnswers();
    // Completions of tap answers called by the delegate.
    int completedResponses();

    // The user taps the delivered notification with this request identifier (the newest one of
    // that identifier): the delegate hears it on the main run loop. False when none was delivered.
    bool tap(const std::string& identifier, const std::string& actionIdentifier = "default");

  private:
    struct Pending {
        NotificationRequest request;
        uint64_t serial;
        std::shared_ptr<platform::Timer> timer;
    };
    void deliverDue(uint64_t serial);
    // Moves the request to the delivered list; posts the foreground presentation.
    void deliver(NotificationRequest request);

    const std::shared_ptr<World> world_;
    const std::shared_ptr<SimNotificationAuthorization> authorization_;
    std::mutex mutex_;
    std::vector<Pending> pending_;
    std::vector<Notification> delivered_;
    std::vector<NotificationRequest> added_;
    std::vector<std::vector<std::string>> removeCalls_;
    std::vector<unsigned> authorizationRequests_;
    std::vector<unsigned> presentationAnswers_;
    int completedResponses_ = 0;
    bool grant_ = true;
    std::optional<Error> grantError_;
    std::optional<Error> addFailure_;
    uint64_t nextSerial_ = 0;
    std::weak_ptr<platform::LocalNotificationCenterDelegate> delegate_;
    std::function<void(const std::vector<std::string>&)> removeHook_;
};

}  // namespace zarn::sim
