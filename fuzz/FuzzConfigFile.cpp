// libFuzzer target: the configuration file in the app bundle, read and applied to a fresh
// configuration. Whatever the bytes, the reader returns, and values it applies are valid.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/ZarnPLogger.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "zarn/Value.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/SystemInfo.h"

namespace {

class OneFileBundle final : public zarn::platform::Bundle {
  public:
    explicit OneFileBundle(std::string path) : path_(std::move(path)) {}
    std::optional<zarn::Value> infoValue(const std::string&) override { return std::nullopt; }
    std::optional<std::string> pathForResource(const std::string& name) override {
        if (name == "zarnconfig.json")
            return path_;
        return std::nullopt;
    }

  private:
    std::string path_;
};

struct World {
    std::string directory;
    std::string path;
    std::shared_ptr<zarn::platform::PosixFileSystem> fileSystem;
    std::shared_ptr<zarn::ZarnPFileConfigDao> reader;
    World() {
        char pattern[] = "/tmp/zarn-fuzz-config-XXXXXX";
        directory = ::mkdtemp(pattern);
        path = directory + "/zarnconfig.json";
        fileSystem = std::make_shared<zarn::platform::PosixFileSystem>(directory);
        auto bundle = std::make_shared<OneFileBundle>(path);
        reader = std::make_shared<zarn::ZarnPFileConfigDao>(bundle, bundle, fileSystem);
        zarn::ZarnPLogger::instance().setLevel(zarn::ZarnPLogLevelNone);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World world;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (!world.fileSystem->createFile(world.path, bytes))
        return 0;
    auto configuration = zarn::ZarnConfiguration::create();
    auto before = configuration->maxRegionsMonitored();
    world.reader->readConfigFromFile(configuration);
    // The region limit the file may set is read as a number; anything else leaves it alone.
    auto after = configuration->maxRegionsMonitored();
    if (after != before && bytes.find("maxRegionsMonitored") == std::string::npos)
        std::abort();
    return 0;
}
