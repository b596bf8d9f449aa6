#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace zarn {

namespace platform {
class Bundle;
class FileSystem;
}  // namespace platform

class ZarnConfiguration;

// Reads "zarnconfig.json" (or "www/zarnconfig.json") from the app bundle and copies the values
// it recognises onto a configuration. A missing, unreadable, oversized or malformed file is
// logged and leaves the configuration exactly as it was. Any thread, one call at a time.
class ZarnPFileConfigDao {
  public:
    // Larger files are not read: a configuration file holds a handful of keys.
    static constexpr std::size_t kMaxFileSize = 1024 * 1024;

    // `firstBundle` (the library's own bundle) is searched first, then the app's main bundle;
    // a host without one of them passes null. The file system is required.
    ZarnPFileConfigDao(std::shared_ptr<platform::Bundle> firstBundle,
                       std::shared_ptr<platform::Bundle> mainBundle,
                       std::shared_ptr<platform::FileSystem> fileSystem);
    virtual ~ZarnPFileConfigDao() = default;
    ZarnPFileConfigDao(const ZarnPFileConfigDao&) = delete;
    ZarnPFileConfigDao& operator=(const ZarnPFileConfigDao&) = delete;

    // The resource's path in the first bundle, else in the main bundle, else nothing.
    std::optional<std::string> getPathForBundle(const std::string& resource);
    // The bytes of the configuration file, or nothing.
    std::optional<std::string> getFileContents();
    // Applies the file to the configuration (nothing happens for a null one).
    virtual void readConfigFromFile(const std::shared_ptr<ZarnConfiguration>& configuration);

  private:
    std::shared_ptr<platform::Bundle> firstBundle_;
    std::shared_ptr<platform::Bundle> mainBundle_;
    std::shared_ptr<platform::FileSystem> fileSystem_;
};

}  // namespace zarn
