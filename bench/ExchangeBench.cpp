// One data-update exchange of 10,000 notifications over loopback HTTPS: the library's request
// (body, gzip, headers) through libcurl to the test service, the transfer of the answer, its
// verification and the save into a fresh database, split into transfer, verify and save. The
// floor, from the same binary: a bare ping-pong (a request with an empty answer) and a bare
// transfer of the same answer bytes, both through the same client and server without the library.
// Also prints the peak resident size before and after the exchange.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>

#include "bench/BenchSupport.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPPublicLogging.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/exchange/ZarnPStoreEventsAndLoadNotificationsDelegate.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "sim/Device.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/HttpsTestServer.h"
#include "sim/service/TestService.h"
#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/RecordingConsole.h"
#include "testing/VirtualTimeSource.h"
#include "tests/support/ExchangeSupport.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long peakResidentKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::vector<std::uint8_t> tenThousand() {
    sim::DataUpdateDescription d;
    d.deleteAllOldData = true;
    constexpr int kCount = 10000, kPerTile = 100, kPerCampaign = 10;
    for (int c = 0; c < kCount / kPerCampaign; ++c)
        d.campaigns.push_back({.campaignId = "c" + std::to_string(c) + "0123456789abcdef0123456789",
                               .message = "Message of campaign " + std::to_string(c)});
    for (int t = 0; t < kCount / kPerTile; ++t)
        d.tiles.push_back({.value = "u1h" + std::to_string(t), .lastVersion = t});
    for (int n = 0; n < kCount; ++n)
        d.tiles[n / kPerTile].notifications.push_back(
            {.campaign = d.campaigns[n / kPerCampaign].campaignId,
             .geofenceId = "g" + std::to_string(n),
             .location = sim::DataUpdateLocation{52.0f + static_cast<float>(n % 1000) * 1e-3f,
                                                 4.0f + static_cast<float>(n / 1000) * 1e-3f},
             .matchRange = 100 + n % 50,
             .customRegionFields = {{"shop", "value " + std::to_string(n)}},
             .triggerProperties = {{"entrance", "door " + std::to_string(n % 7)}}});
    return sim::DataUpdateBuilder::build(d);
}

class QuietPublicLog final : public ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>&, std::string_view,
                                         const std::vector<FormatArg>&) override {}
};

class Done final : public ZarnPStoreEventsAndLoadNotificationsDelegate {
  public:
    void loadNotificationsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>&, const std::string&, bool,
                                    const std::shared_ptr<ZarnPContext>&,
                                    const std::optional<Error>& e) override {
        error = e;
        at = Clock::now();
    }
    std::optional<Error> error;
    Clock::time_point at;
};

struct Figures {
    double total = 0, verify = 0, save = 0, pingPong = 0, bareTransfer = 0;
    std::size_t bytes = 0;
    long rssBefore = 0, rssAfter = 0;
};

// Waits on this thread for one exchange straight through the client.
double timedExchange(platform::HttpClient& client, const std::string& url) {
    platform::HttpRequest request{"POST", url, {{"Content-Type", "application/json"}}, {'{', '}'}, 30};
    std::promise<void> done;
    auto start = Clock::now();
    client.send(request, [&](platform::HttpResult) { done.set_value(); });
    done.get_future().wait();
    return since(start);
}

Figures runOnce(const std::vector<std::uint8_t>& update) {
    bench::SimulatedHost host("zarn-exchangebench", 1796126400.0, 0);
    const auto& home = host.home;
    const auto& time = host.time;
    const auto& device = host.device;
    const auto& services = host.services;
    Figures f;
    f.bytes = update.size();
    {
        test::LoopbackService loopback(home);
        loopback.service->setDataUpdate(update);
        if (!loopback.start())
            return f;
        auto& server = loopback.server;
        const auto& options = loopback.options;

        auto timer =
            std::make_shared<ZarnPSystemTimerDao>(time, platform::mainRunLoop(), device->application());
        auto tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(timer, device->backgroundTasks(),
                                                                    device->application());
        test::ExchangeStores stores(home + "/zarn.db", services.fileSystem, time, *device);
        auto db = stores.db;
        auto registered = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
        stores.keyValues->setPropertyValue("bench-token", setting::kPublicToken);
        auto dao = ZarnPDataUpdateDao::create(stores.collaborators(
            std::make_shared<ZarnPHttpDao>(
                tasks,
                [&f](const std::vector<std::uint8_t>& bytes) {
                    auto start = Clock::now();
                    auto root = ZarnPDataUpdateReader::read(std::span<const std::uint8_t>(bytes));
                    f.verify += since(start);
                    return root;
                },
                std::make_shared<ZarnPHttpRequestCreatorImpl>(loopback.client), server.baseAddress()),
            "127.0.0.1", std::make_shared<test::IgnoringFences>(),
            [&f, db](const fb::DataUpdateResponseDTO& root, const std::shared_ptr<ZarnPContext>& context) {
                auto start = Clock::now();
                ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(db, std::make_shared<QuietPublicLog>());
                auto result = orchestrator.save(root, context);
                f.save += since(start);
                return ZarnPDataUpdateSaveOutcome{
                    .deleteAllOldData = result.deleteAllOldData(),
                    .beaconUuids = {result.beaconUuids().begin(), result.beaconUuids().end()},
                    .storedBeaconUuids = {result.storedBeaconUuids().begin(),
                                          result.storedBeaconUuids().end()},
                };
            }));
        auto done = std::make_shared<Done>();
        f.rssBefore = peakResidentKib();
        auto start = Clock::now();
        timer->invokeBlockOnRunLoop(
            [&] {
                dao->storeEventsAndLoadNotifications({}, nullptr, true, true, "bench-token", std::nullopt,
                                                     std::nullopt, Value(), done, nullptr);
            },
            true);
        time->runUntilIdle();
        f.total = std::chrono::duration<double>(done->at - start).count();
        f.rssAfter = peakResidentKib();
        if (done->error)
            f.total = -1;
        // The floor, after the exchange so that the peak before it is the exchange's own: a fresh
        // client each, so each pays for its own connection as the exchange does.
        {
            platform::CurlHttpClient bare(options);
            f.pingPong = timedExchange(bare, server.baseAddress() + "storeEvents");
        }
        {
            platform::CurlHttpClient bare(options);
            f.bareTransfer = timedExchange(bare, server.baseAddress() + "storeEventsAndLoadNotifications");
        }

        server.stop();
    }
    return f;
}

void BM_DataUpdateExchangeOverHttps(benchmark::State& state) {
    static const auto update = tenThousand();
    Figures sum;
    Figures last;
    long rssBefore = 0, rssAfter = 0;  // of the first exchange: later ones start from its peak
    for (auto _ : state) {
        last = runOnce(update);
        if (rssAfter == 0) {
            rssBefore = last.rssBefore;
            rssAfter = last.rssAfter;
        }
        if (last.total < 0) {
            state.SkipWithError("the exchange failed");
            return;
        }
        sum.total += last.total;
        sum.verify += last.verify;
        sum.save += last.save;
        sum.pingPong += last.pingPong;
        sum.bareTransfer += last.bareTransfer;
        state.SetIterationTime(last.total);
    }
    double n = static_cast<double>(state.iterations());
    double transfer = (sum.total - sum.verify - sum.save) / n;
    state.counters["transfer_ms"] = transfer * 1e3;
    state.counters["verify_ms"] = sum.verify / n * 1e3;
    state.counters["save_ms"] = sum.save / n * 1e3;
    state.counters["floor_transfer_ms"] = sum.bareTransfer / n * 1e3;
    state.counters["floor_pingpong_ms"] = sum.pingPong / n * 1e3;
    state.counters["peak_rss_KiB"] = static_cast<double>(rssAfter);
    std::printf(
        "exchange of 10000 notifications (%.1f KiB answer): %.1f ms = transfer %.1f ms + verify %.1f ms + "
        "save "
        "%.1f ms; floor: bare transfer of the same bytes %.1f ms (transfer ratio %.2fx), bare ping-pong %.1f "
        "ms; peak resident %.1f MiB (%.1f MiB before the exchange)\n",
        static_cast<double>(last.bytes) / 1024, sum.total / n * 1e3, transfer * 1e3, sum.verify / n * 1e3,
        sum.save / n * 1e3, sum.bareTransfer / n * 1e3, transfer / (sum.bareTransfer / n),
        sum.pingPong / n * 1e3, last.rssAfter / 1024.0, last.rssBefore / 1024.0);
}

BENCHMARK(BM_DataUpdateExchangeOverHttps)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zarn
