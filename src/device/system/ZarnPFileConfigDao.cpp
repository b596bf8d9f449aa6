#include "device/system/ZarnPFileConfigDao.h"

#include <cmath>

#include "core/ZarnException.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogger.h"
#include "zarn/Value.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/SystemInfo.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "ZarnPFileConfigDao";

// A boolean setting may be written as true/false or as a number.
std::optional<bool> boolOf(const Value& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end())
        return std::nullopt;
    if (it->is_boolean())
        return it->get<bool>();
    if (it->is_number_integer())
        return it->get<int64_t>() != 0;
    if (it->is_number_unsigned())
        return it->get<uint64_t>() != 0;
    if (it->is_number_float())
        return it->get<double>() != 0.0;
    return std::nullopt;
}

std::optional<int> regionLimitOf(const Value& object) {
    auto it = object.find("maxRegionsMonitored");
    if (it == object.end() || !it->is_number())
        return std::nullopt;
    double v = it->get<double>();
    if (!(v >= 0))
        return 0;  // negative (and never-seen NaN)
    if (v > 20)
        return 20;
    return static_cast<int>(std::trunc(v));
}

}  // namespace

ZarnPFileConfigDao::ZarnPFileConfigDao(std::shared_ptr<platform::Bundle> firstBundle,
                                       std::shared_ptr<platform::Bundle> mainBundle,
                                       std::shared_ptr<platform::FileSystem> fileSystem)
    : firstBundle_(std::move(firstBundle)),
      mainBundle_(std::move(mainBundle)),
      fileSystem_(std::move(fileSystem)) {
    ZARN_REQUIRE(fileSystem_);
}

std::optional<std::string> ZarnPFileConfigDao::getPathForBundle(const std::string& resource) {
    if (firstBundle_)
        if (auto path = firstBundle_->pathForResource(resource))
            return path;
    if (mainBundle_)
        if (auto path = mainBundle_->pathForResource(resource))
            return path;
    return std::nullopt;
}

std::optional<std::string> ZarnPFileConfigDao::getFileContents() {
    auto path = getPathForBundle("zarnconfig.json");
    if (!path)
        path = getPathForBundle("www/zarnconfig.json");
    std::optional<std::string> contents;
    if (path && fileSystem_)
        contents = fileSystem_->readFile(*path, kMaxFileSize + 1);
    if (!contents) {
        LogDebug(kDomain, "Unable to read %@", path);
        return std::nullopt;
    }
    if (contents->size() > kMaxFileSize) {
        LogError(kDomain, "Ignoring %@: larger than %lu bytes", *path,
                 static_cast<unsigned long>(kMaxFileSize));
        return std::nullopt;
    }
    return contents;
}

void ZarnPFileConfigDao::readConfigFromFile(const std::shared_ptr<ZarnConfiguration>& configuration) {
    if (!configuration)
        return;
    auto contents = getFileContents();
    if (!contents)
        return;
    Error error;
    auto parsed = ZarnPJson::parse(*contents, &error);
    if (!parsed) {
        LogNsError(kDomain, error, "Failed to read zarn configuration from file.");
        return;
    }
    if (!parsed->is_object()) {
        LogError(kDomain, "Failed to read zarn configuration from file. Content is malformed.");
        return;
    }
    const Value& object = *parsed;
    if (auto it = object.find("publicToken"); it != object.end() && it->is_string())
        configuration->setPublicToken(it->get<std::string>());
    if (auto v = boolOf(object, "enableOnFirstRun"))
        configuration->setEnableOnFirstRun(*v);
    if (auto v = regionLimitOf(object))
        configuration->setMaxRegionsMonitored(*v);
    if (auto v = boolOf(object, "quickSyncDisabled"))
        configuration->setQuickSyncDisabled(*v);
    if (auto v = boolOf(object, "enableBackgroundLocation"))
        configuration->setEnableBackgroundLocation(*v);
    if (auto v = boolOf(object, "automaticallyAskLocationPermission"))
        configuration->setAutomaticallyAskLocationPermission(*v);
    if (auto v = boolOf(object, "automaticallyAskNotificationPermission"))
        configuration->setAutomaticallyAskNotificationPermission(*v);
    if (auto v = boolOf(object, "provisionalNotificationPermission"))
        configuration->setProvisionalNotificationPermission(*v);
}

}  // namespace zarn
