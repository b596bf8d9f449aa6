// libFuzzer target: a pushed payload's text (Base64 of a gzip stream of a data update) through
// the push mediator, with a data-update store that walks what would be saved. A payload either
// reaches the store with a readable update and the delegate hears of it, or neither happens.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "device/push/ZarnPGCMMediator.h"
#include "device/push/ZarnPGCMMediatorDelegate.h"
#include "sim/service/DataUpdateWalker.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"

namespace {

class WalkingStore final : public zarn::ZarnPRemoteEventAndNotificationDao {
  public:
    void storeEventsAndLoadNotifications(const std::vector<std::shared_ptr<zarn::ZarnPEvent>>&,
                                         const std::shared_ptr<zarn::ZarnPLocationWithAccuracy>&, bool, bool,
                                         const std::string&, const std::optional<std::string>&,
                                         std::optional<bool>, const zarn::Value&,
                                         std::shared_ptr<zarn::ZarnPStoreEventsAndLoadNotificationsDelegate>,
                                         std::shared_ptr<zarn::ZarnPContext>) override {
        std::abort();  // a push never fetches
    }
    void storeEvents(const std::vector<std::shared_ptr<zarn::ZarnPEvent>>&, const std::string&,
                     const std::optional<std::string>&, std::optional<bool>, const zarn::Value&,
                     std::shared_ptr<zarn::ZarnPStoreEventsDelegate>) override {
        std::abort();
    }
    void saveDataUpdate(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root,
                        const std::shared_ptr<zarn::ZarnPContext>&) override {
        if (!root)
            std::abort();  // the mediator stops before an unreadable update
        auto walk = zarn::sim::DataUpdateWalker::walk(*root);
        if (walk.notifications < walk.locations)
            std::abort();
        ++saves;
    }
    void clearData() override {}
    int saves = 0;
};

class CountingDelegate final : public zarn::ZarnPGCMMediatorDelegate {
  public:
    void loadPushedNotificationsCompleted(const std::shared_ptr<zarn::ZarnPContext>&) override { ++calls; }
    int calls = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto store = std::make_shared<WalkingStore>();
    static auto delegate = std::make_shared<CountingDelegate>();
    static auto mediator = [] {
        auto m = std::make_shared<zarn::ZarnPGCMMediator>(
            [](const std::vector<std::uint8_t>& bytes) { return zarn::ZarnPDataUpdateReader::read(bytes); },
            store);
        m->setDelegate(delegate);
        return m;
    }();
    int saves = store->saves;
    int calls = delegate->calls;
    mediator->gcmClientDidReceiveMessage(std::string(reinterpret_cast<const char*>(data), size), nullptr);
    // Saved and told together, or neither.
    if (store->saves - saves != delegate->calls - calls || store->saves - saves > 1)
        std::abort();
    return 0;
}
