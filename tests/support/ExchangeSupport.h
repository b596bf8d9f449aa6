#pragma once
// What the transport and data-update exchange tests and the exchange benchmark share: the
// verifying reader, a refused port, the test service on loopback HTTPS with a client that trusts
// it, and the exchange's own stores and collaborators over a fresh database.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "schema/dataupdate_generated.h"
#include "sim/Device.h"
#include "sim/service/HttpsTestServer.h"
#include "sim/service/TestService.h"
#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/VirtualTimeSource.h"
#include "tests/support/FenceDoubles.h"
#include "zarn/platform/FileSystem.h"

namespace zarn::test {

// The data update's verifying reader: the root of a buffer that passes the verifier, else none.
inline const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* verifyingReader(
    const std::vector<std::uint8_t>& bytes) {
    namespace fb = com::zarnkit::velto::dataupdate::fb;
    if (bytes.size() < sizeof(flatbuffers::uoffset_t))
        return nullptr;
    flatbuffers::Verifier verifier(bytes.data(), bytes.size());
    return fb::VerifyDataUpdateResponseDTOBuffer(verifier) ? fb::GetDataUpdateResponseDTO(bytes.data())
                                                           : nullptr;
}

// A loopback port that nothing listens on: connecting to it is refused.
inline int refusedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(s);  // nothing listens there now
    return ntohs(addr.sin_port);
}

// The test service on loopback HTTPS, its files under `home`, and a client that trusts its
// certificate once started.
struct LoopbackService {
    explicit LoopbackService(const std::string& home) : server(service, home) {}

    // Starts the server and makes the client; false when the server does not start.
    bool start() {
        if (!server.start())
            return false;
        options.caFile = server.caFile();
        client = std::make_shared<platform::CurlHttpClient>(options);
        return true;
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    sim::HttpsTestServer server;
    platform::CurlHttpClient::Options options;  // the client's, for further clients alike
    std::shared_ptr<platform::CurlHttpClient> client;
};

// The stores the exchange reads and writes, on a fresh database at `path`, and the collaborators
// it is built from. Nothing is used yet: the file opens at the first use, so stores registered
// before that migrate too, and the first use binds the stores to its thread (the exchange's).
// The public log is left disabled; `device` outlives the stores.
struct ExchangeStores {
    ExchangeStores(const std::string& path, std::shared_ptr<platform::FileSystem> fileSystem,
                   std::shared_ptr<platform::VirtualTimeSource> time, sim::Device& device)
        : db(std::make_shared<ZarnPSqLiteDb>(22, path, fileSystem)),
          strings(std::make_shared<ZarnPSqLiteKeyValueDao>(db)),
          keyValues(strings->keyValueDao()),
          device(device),
          clock(std::make_shared<ZarnPSystemClockDao>(time)),
          publicLog(std::make_shared<ZarnPSystemPublicLogDao>(clock, nullptr, nullptr, fileSystem, time,
                                                              [] { return true; })),
          deviceIds(std::make_shared<ZarnPDeviceIdDao>(std::make_shared<ZarnPUuidGenerator>(), keyValues)) {
        db->disableThreadCheck();
    }

    // The exchange's collaborators over `httpDao`, reachability asked for `host`; the rest from
    // these stores and the device.
    ZarnPDataUpdateDao::Collaborators collaborators(
        std::shared_ptr<ZarnPHttpDao> httpDao, const std::string& host, std::shared_ptr<ZarnPFenceDao> fences,
        ZarnPDataUpdateSaveFunction save, ZarnPNotificationCacheInvalidation invalidate = nullptr) const {
        return ZarnPDataUpdateDao::Collaborators{
            .httpDao = std::move(httpDao),
            .deviceIdDao = deviceIds,
            .networkDao = std::make_shared<ZarnPNetworkDao>(host, device.reachability()),
            .batteryDao = std::make_shared<ZarnPBatteryDao>(device.battery()),
            .geohashReadDao = std::make_shared<ZarnPGeohashReadDao>(db),
            .fenceDao = std::move(fences),
            .publicLogDao = publicLog,
            .keyValueDao = keyValues,
            .clockDao = clock,
            .save = std::move(save),
            .invalidateCache = std::move(invalidate),
        };
    }

    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings;
    std::shared_ptr<ZarnPKeyValueDao> keyValues;
    sim::Device& device;
    std::shared_ptr<ZarnPSystemClockDao> clock;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog;
    std::shared_ptr<ZarnPDeviceIdDao> deviceIds;
};

}  // namespace zarn::test
