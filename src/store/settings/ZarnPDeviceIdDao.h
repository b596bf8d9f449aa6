#pragma once
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"

namespace zarn {

class ZarnPKeyValueDao;
class ZarnPUuidGenerator;

// The device's identifier that every request to the service carries: an upper-case UUID text
// kept under "deviceId" until it is reset. SDK thread only.
class ZarnPDeviceIdDao {
  public:
    ZarnPDeviceIdDao(std::shared_ptr<ZarnPUuidGenerator> uuidGenerator,
                     std::shared_ptr<ZarnPKeyValueDao> keyValueDao);
    virtual ~ZarnPDeviceIdDao() = default;
    ZarnPDeviceIdDao(const ZarnPDeviceIdDao&) = delete;
    ZarnPDeviceIdDao& operator=(const ZarnPDeviceIdDao&) = delete;

    // The device id, created and stored on first need.
    virtual std::string getDeviceId();
    // Forgets the id; the next getDeviceId() creates a new one.
    virtual void resetDeviceId();

  private:
    std::shared_ptr<ZarnPUuidGenerator> uuidGenerator_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    ZarnPSequenceChecker sequence_;
    std::optional<std::string> deviceId_;
};

}  // namespace zarn
