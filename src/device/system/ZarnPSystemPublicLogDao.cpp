#include "device/system/ZarnPSystemPublicLogDao.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/DateFormat.h"
#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "device/system/ZarnPDeviceDataDao.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "zarn/ZarnBase.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/TimeSource.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "ZarnPSystemPublicLogDao";
constexpr const char* kFilePrefix = "zarndebug-";
constexpr const char* kFileSuffix = ".log";
constexpr double kPurgeInterval = 3600.0;
constexpr int kKeptDays = 7;
// A day file stops taking lines at this size, so the export holds at most seven of them.
constexpr uint64_t kMaxDayFileBytes = 2 * 1024 * 1024;
constexpr size_t kShortMessageUnits = 15;

void writeConsole(const std::string& line) {
    try {
        ZarnPLogger::instance().writeConsole(line);
    } catch (...) {
    }
}

// One code point of UTF-8 text at `i`: its length in bytes (1 for a byte that starts no valid
// sequence) and whether it was valid.
struct CodePoint {
    size_t length = 1;
    uint32_t value = 0xFFFD;
    bool valid = false;
};

CodePoint decodeUtf8(std::string_view s, size_t i) {
    CodePoint cp;
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80)
        return {1, b0, true};
    size_t n;
    uint32_t v, min;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2, v = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, v = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, v = b0 & 0x07, min = 0x10000;
    } else {
        return cp;
    }
    if (i + n > s.size())
        return cp;
    for (size_t k = 1; k < n; ++k) {
        unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80)
            return cp;
        v = (v << 6) | (b & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return cp;
    return {n, v, true};
}

// "+0100": the offset as the date pattern ZZZ shows it.
std::string rfc822Offset(long offset) {
    long a = (offset < 0 ? -offset : offset) % 86400;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%c%02ld%02ld", offset < 0 ? '-' : '+', a / 3600, (a % 3600) / 60);
    return buf;
}

}  // namespace

ZarnPSystemPublicLogDao::ZarnPSystemPublicLogDao(std::shared_ptr<ZarnPClockDao> clockDao,
                                                 std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                                                 std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao,
                                                 std::shared_ptr<platform::FileSystem> fileSystem,
                                                 std::shared_ptr<platform::TimeSource> timeZoneSource,
                                                 EnabledQuery libraryEnabled)
    : clockDao_(std::move(clockDao)),
      deviceDataDao_(std::move(deviceDataDao)),
      delegateDataDao_(std::move(delegateDataDao)),
      fileSystem_(std::move(fileSystem)),
      timeZoneSource_(std::move(timeZoneSource)),
      libraryEnabled_(std::move(libraryEnabled)) {
    ZARN_REQUIRE(clockDao_);
    ZARN_REQUIRE(fileSystem_);
    ZARN_REQUIRE(timeZoneSource_);
    ZARN_REQUIRE(libraryEnabled_);
}

bool ZarnPSystemPublicLogDao::enabled() {
    MutexLock lk(mutex_);
    return enabled_;
}

void ZarnPSystemPublicLogDao::setEnabled(bool enabled) {
    MutexLock lk(mutex_);
    enabled_ = enabled;
}

// --- Dates and names

long ZarnPSystemPublicLogDao::zoneOffsetAt(Date date) {
    return timeZoneSource_ ? timeZoneSource_->timeZoneOffsetSeconds(date) : 0;
}

int64_t ZarnPSystemPublicLogDao::localDayNumber(Date date) {
    double local = timeIntervalSince1970(date) + static_cast<double>(zoneOffsetAt(date));
    if (!std::isfinite(local))
        return 0;
    return static_cast<int64_t>(std::floor(local / 86400.0));
}

std::string ZarnPSystemPublicLogDao::fileNameForLocalDay(int64_t dayNumber) {
    Date midnight = dateWithTimeIntervalSince1970(static_cast<double>(dayNumber) * 86400.0);
    return std::string(kFilePrefix) + formatDate(midnight, 0, "yyyy-MM-dd") + kFileSuffix;
}

std::string ZarnPSystemPublicLogDao::getFileNameForDate(Date date) {
    return fileNameForLocalDay(localDayNumber(date));
}

std::string ZarnPSystemPublicLogDao::entryDate(Date date) {
    long offset = zoneOffsetAt(date);
    return formatDate(date, offset, "yyyy-MM-dd HH:mm:ss") + " " + rfc822Offset(offset);
}

std::string ZarnPSystemPublicLogDao::pathForFileName(const std::string& name) {
    return fileSystem_ ? fileSystem_->expandTilde("~/Documents/" + name) : "~/Documents/" + name;
}

// --- Files

void ZarnPSystemPublicLogDao::purgeOldFiles() {
    MutexLock lk(mutex_);
    purgeOldFilesLocked(clockDao_->now());
}

void ZarnPSystemPublicLogDao::purgeOldFilesLocked(Date now) {
    if (lastPurge_ && std::fabs(timeIntervalBetween(now, *lastPurge_)) < kPurgeInterval)
        return;
    lastPurge_ = now;
    if (!fileSystem_)
        return;
    std::string directory = fileSystem_->expandTilde("~/Documents/");
    // Nothing was ever written: nothing to purge.
    if (!fileSystem_->fileExists(directory))
        return;
    auto names = fileSystem_->contentsOfDirectory(directory);
    // Today and the six calendar days before it, whatever their length in hours.
    int64_t today = localDayNumber(now);
    std::vector<std::string> kept;
    for (int i = 0; i < kKeptDays; ++i) kept.push_back(fileNameForLocalDay(today - i));
    for (const auto& name : names) {
        std::string_view n(name);
        if (!n.starts_with(kFilePrefix) || !n.ends_with(kFileSuffix))
            continue;
        if (std::find(kept.begin(), kept.end(), name) != kept.end())
            continue;
        std::string path = pathForFileName(name);
        // Only day files are ours: a folder or a link that happens to carry such a name stays.
        if (!fileSystem_->isRegularFile(path))
            continue;
        LogDebug(kDomain, "Removing file: %@", path);
        if (auto failure = fileSystem_->removeItem(path)) {
            LogNsError(kDomain, Error{"ZarnFileSystem", 512, *failure}, "Failed to remove file: %@", path);
            return;
        }
    }
}

void ZarnPSystemPublicLogDao::openFile() {
    MutexLock lk(mutex_);
    openFileLocked(clockDao_->now());
}

void ZarnPSystemPublicLogDao::openFileLocked(Date now) {
    try {
        purgeOldFilesLocked(now);
        fileHandle_.reset();
        if (!fileSystem_)
            return;
        std::string path = pathForFileName(getFileNameForDate(now));
        if (!fileSystem_->fileExists(path)) {
            if (fileSystem_->createFile(path, ""))
                fileSystem_->setProtectionNone(path);
        }
        // An empty append opens the file for writing and tells whether that works.
        if (!fileSystem_->appendToFile(path, "")) {
            LogDebug(kDomain, "LoggerFileAppender: Error opening log file: %@", path);
            return;
        }
        fileHandle_ = path;
    } catch (const std::exception& e) {
        fileHandle_.reset();
        writeConsole(format("Zarn|Failed to open log file: %@", e.what()));
    }
}

void ZarnPSystemPublicLogDao::closeFile() {
    MutexLock lk(mutex_);
    closeFileLocked();
}

void ZarnPSystemPublicLogDao::closeFileLocked() {
    fileHandle_.reset();
}

void ZarnPSystemPublicLogDao::keepLogFileOpen() {
    MutexLock lk(mutex_);
    if (!enabled_)
        return;
    openFileLocked(clockDao_->now());
    keepFileOpen_ = true;
}

void ZarnPSystemPublicLogDao::stopKeepingLogFileOpen() {
    MutexLock lk(mutex_);
    closeFileLocked();
    keepFileOpen_ = false;
}

// --- Lines

void ZarnPSystemPublicLogDao::logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>& context,
                                                              std::string_view fmt,
                                                              const std::vector<FormatArg>& arguments) {
    if (enabled())
        logMessageAndArguments(context, fmt, arguments);
}

void ZarnPSystemPublicLogDao::logMessageAndArguments(const std::shared_ptr<ZarnPContext>& context,
                                                     std::string_view fmt,
                                                     const std::vector<FormatArg>& arguments) {
    std::string message;
    try {
        message = formatArgs(fmt, arguments);
    } catch (const std::exception& e) {
        writeConsole(format("Zarn|Failed to log message: %@", e.what()));
        return;
    }
    writeConsole(format("Zarn| %@", message));

    MutexLock lk(mutex_);
    Date now = clockDao_->now();
    if (!keepFileOpen_)
        openFileLocked(now);
    try {
        std::string line = format("%@: %@\n", entryDate(now), message);
        if (context)
            context->appendToContextLog(line);
        if (fileHandle_ && fileSystem_->fileSize(*fileHandle_).value_or(0) + line.size() > kMaxDayFileBytes) {
            if (fullFile_ != *fileHandle_)
                writeConsole(format("Zarn|Debug log file full, dropping lines: %@", *fileHandle_));
            fullFile_ = *fileHandle_;
        } else if (fileHandle_ && !fileSystem_->appendToFile(*fileHandle_, line)) {
            writeConsole(format("Zarn|Failed to log message: %@", "write failed: " + *fileHandle_));
        }
    } catch (const std::exception& e) {
        writeConsole(format("Zarn|Failed to log message: %@", e.what()));
    }
    if (!keepFileOpen_)
        closeFileLocked();
}

std::string ZarnPSystemPublicLogDao::getShortMessage(const std::optional<std::string>& message) {
    if (!message)
        return {};
    std::string_view s(*message);
    // Length in UTF-16 code units, as the platform counted it.
    size_t units = 0;
    for (size_t i = 0; i < s.size();) {
        CodePoint cp = decodeUtf8(s, i);
        units += cp.value >= 0x10000 ? 2 : 1;
        i += cp.length;
    }
    if (units <= kShortMessageUnits)
        return *message;
    // The first 15 units, never half a character: a pair that would be split stays out.
    std::string out;
    units = 0;
    for (size_t i = 0; i < s.size();) {
        CodePoint cp = decodeUtf8(s, i);
        size_t n = cp.value >= 0x10000 ? 2 : 1;
        if (units + n > kShortMessageUnits)
            break;
        if (cp.valid)
            out.append(s.substr(i, cp.length));
        else
            out.append("\xEF\xBF\xBD");  // U+FFFD for a byte that is not UTF-8
        units += n;
        i += cp.length;
    }
    return out + "...";
}

std::string ZarnPSystemPublicLogDao::nilToEmptyString(const std::optional<std::string>& text) {
    return text ? *text : std::string();
}

std::string ZarnPSystemPublicLogDao::boolToString(bool value) {
    return value ? "yes" : "no";
}

std::string ZarnPSystemPublicLogDao::boolToEnabled(bool value) {
    return value ? "enabled" : "disabled";
}

std::string ZarnPSystemPublicLogDao::intToAuthorizationStatus(int status) {
    switch (status) {
        case 0:
            return "undetermined";
        case 1:
            return "denied";
        case 2:
            return "authorized";
        default:
            return "provisional";
    }
}

// --- Event lines

void ZarnPSystemPublicLogDao::logZarnEnabled(bool enabled, const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Zarn %@", boolToEnabled(enabled));
}

void ZarnPSystemPublicLogDao::logOfferNotificationCount(long count,
                                                        const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Offered notifications to notification filter (%ld total)", count);
}

void ZarnPSystemPublicLogDao::logOfferGeotriggerCount(long count,
                                                      const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Offered geotriggers to the geotrigger handler (%ld total)", count);
}

void ZarnPSystemPublicLogDao::logPassedNotificationCount(long count,
                                                         const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Notification filter completed (%ld passed)", count);
}

void ZarnPSystemPublicLogDao::logPassedGeotriggerCount(long count,
                                                       const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Geotrigger handler completed (%ld passed)", count);
}

void ZarnPSystemPublicLogDao::logSingleNotificationCooldown(const std::string& identifier,
                                                            const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Not showing notification or geotrigger (%@) due to cooldown", identifier);
}

void ZarnPSystemPublicLogDao::logNotificationCooldown(const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Not showing all notifications because of cooldown period in app");
}

void ZarnPSystemPublicLogDao::logFailedDataUpdate(const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Failed to update notifications.");
}

void ZarnPSystemPublicLogDao::logNotificationDistance(const std::string& identifier,
                                                      const std::optional<std::string>& message,
                                                      int matchRange, double distance, bool accurateEnough,
                                                      const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Distance to %@ - %@: %.0f (range: %d)%@", identifier,
                        getShortMessage(message), distance, matchRange,
                        accurateEnough ? "" : " (location update too inaccurate)");
}

void ZarnPSystemPublicLogDao::logLocationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                                  const std::shared_ptr<ZarnPContext>& context) {
    if (!location) {
        logMessageIfEnabled(
            context,
            "Failed to obtain your current location. To make sure that it is possible to receive a "
            "location enable WIFI, enable location services and ensure an internet connection is "
            "available.");
        return;
    }
    logMessageIfEnabled(context, "Acquired location: %f,%f (accuracy %f meter)", location->latitude(),
                        location->longitude(), location->accuracy());
}

void ZarnPSystemPublicLogDao::logUserOptOutForNotification(const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "User has opt-out for receiving notifications from this app.");
}

void ZarnPSystemPublicLogDao::logUserHasToLeaveFirst(const std::string& identifier,
                                                     const std::optional<std::string>& message,
                                                     const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "User first has to leave area of %@ - %@", identifier,
                        getShortMessage(message));
}

void ZarnPSystemPublicLogDao::logNotificationSent(const std::string& identifier,
                                                  const std::optional<std::string>& message,
                                                  const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Showing notification: %@ - %@", identifier, getShortMessage(message));
}

void ZarnPSystemPublicLogDao::logNotificationOpened(const std::string& identifier,
                                                    const std::optional<std::string>& message,
                                                    const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Opening notification: %@ - %@", identifier, getShortMessage(message));
}

void ZarnPSystemPublicLogDao::logGeotriggerSent(const std::string& identifier,
                                                const std::optional<std::string>& name,
                                                const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Geotrigger sent: %@ - %@", identifier, getShortMessage(name));
}

void ZarnPSystemPublicLogDao::logGeotriggerHandled(const std::string& identifier,
                                                   const std::optional<std::string>& name,
                                                   const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Geotrigger handled: %@ - %@", identifier, getShortMessage(name));
}

void ZarnPSystemPublicLogDao::logSegmentationChanged(const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(
        context,
        "Removing all loaded notifications and geotriggers because segmentation property has changed.");
}

void ZarnPSystemPublicLogDao::logSegmentationCreatedFor(const std::string& key, const std::string& value,
                                                        const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Segmentation set for property %@ with value %@", key, value);
}

void ZarnPSystemPublicLogDao::logFailedToObtainCurrentLocationFor(
    const std::string& triggerKind, const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Failed to check for %@ trigger: current location unknown.", triggerKind);
}

void ZarnPSystemPublicLogDao::logOfferingExternalRegionsCount(long count,
                                                              const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Offering %ld external notifications", count);
}

void ZarnPSystemPublicLogDao::logCheckingExternalMatches(const std::string& triggerType,
                                                         const Value& properties,
                                                         const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Checking external regions for %@: %@", triggerType, properties);
}

void ZarnPSystemPublicLogDao::logRangedBeacons(const std::vector<Beacon>& beacons,
                                               const std::shared_ptr<ZarnPContext>& context) {
    if (!enabled())
        return;
    std::string list;
    for (size_t i = 0; i < beacons.size(); ++i) {
        if (i)
            list += ",";
        list += format("UUID:%@ major:%@ minor:%@", beacons[i].uuid, beacons[i].major, beacons[i].minor);
    }
    logMessage(context, "Triggered beacons:[%@]", list);
}

void ZarnPSystemPublicLogDao::logScreenTransition(const std::string& screenName,
                                                  const std::shared_ptr<ZarnPContext>& context) {
    logMessageIfEnabled(context, "Registering screen transition: %@", screenName);
}

// --- Export

std::vector<std::string> ZarnPSystemPublicLogDao::getHeaderMessagesWithNotificationServicesEnabled(
    const std::shared_ptr<ZarnPNotificationsEnabledCallback>& notificationState) {
    bool libraryEnabled = libraryEnabled_();
    auto& device = deviceDataDao_;
    auto& delegate = delegateDataDao_;
    bool notificationsEnabled = notificationState && notificationState->enabled();
    int authorization = notificationState ? notificationState->authorizationStatus() : 0;
    return {
        "Zarn debug log - Phone information:\n",
        format(" zarn_status: %@\n", boolToEnabled(libraryEnabled)),
        format(" zarn_version: %@\n", ZarnBase::version()),
        format(" location_services: %@\n", boolToEnabled(device && device->locationServicesEnabled())),
        format(" notification_state: %@\n", boolToEnabled(notificationsEnabled)),
        format(" authorization_state: %@\n", intToAuthorizationStatus(authorization)),
        format(" app_name: %@\n", nilToEmptyString(device ? device->appName() : std::nullopt)),
        format(" app_version: %@\n", nilToEmptyString(device ? device->appVersion() : std::nullopt)),
        " platform: iOS\n",
        format(" platform_version: %@\n",
               nilToEmptyString(device ? device->platformVersion() : std::nullopt)),
        format(" framework: %@\n", device ? device->framework() : std::string()),
        format(" framework_version: %@\n",
               nilToEmptyString(device ? device->frameworkVersion() : std::nullopt)),
        " hardware_manufacturer: Apple\n",
        format(" hardware_model: %@\n", nilToEmptyString(device ? device->hardwareModel() : std::nullopt)),
        format(" has_notification_filter: %@\n", boolToString(delegate && delegate->hasNotificationFilter())),
        format(" has_custom_notification_handler: %@\n",
               boolToString(delegate && delegate->hasCustomNotificationHandler())),
        format(" has_custom_geotrigger_handler: %@\n",
               boolToString(delegate && delegate->hasCustomGeotriggerHandler())),
        "---\n",
    };
}

void ZarnPSystemPublicLogDao::getHeaderMessages(std::function<void(std::vector<std::string>)> block) {
    if (!block)
        return;
    auto self = weak_from_this().lock();
    if (!deviceDataDao_ || !self) {
        block(getHeaderMessagesWithNotificationServicesEnabled(nullptr));
        return;
    }
    deviceDataDao_->notificationServicesEnabled(
        [self, block = std::move(block)](std::shared_ptr<ZarnPNotificationsEnabledCallback> state) {
            block(self->getHeaderMessagesWithNotificationServicesEnabled(state));
        });
}

void ZarnPSystemPublicLogDao::getHeaderData(std::function<void(std::string)> block) {
    if (!block)
        return;
    getHeaderMessages([block = std::move(block)](std::vector<std::string> lines) {
        std::string data;
        for (auto& l : lines) data += l;
        block(std::move(data));
    });
}

std::string ZarnPSystemPublicLogDao::getRawLogFileData() {
    MutexLock lk(mutex_);
    return rawLogFileDataLocked(clockDao_->now());
}

std::string ZarnPSystemPublicLogDao::rawLogFileDataLocked(Date now) {
    purgeOldFilesLocked(now);
    std::string data;
    if (!fileSystem_)
        return data;
    int64_t today = localDayNumber(now);
    for (int i = kKeptDays - 1; i >= 0; --i) {
        if (auto contents =
                fileSystem_->readFile(pathForFileName(fileNameForLocalDay(today - i)), kMaxDayFileBytes))
            data += *contents;
    }
    return data;
}

void ZarnPSystemPublicLogDao::getLogFileData(
    std::function<void(std::optional<std::vector<std::uint8_t>>)> block) {
    if (!block)
        return;
    auto self = weak_from_this().lock();
    auto build = [block](ZarnPSystemPublicLogDao& dao, std::string header) {
        std::optional<std::vector<std::uint8_t>> data;
        try {
            std::string all = std::move(header) + dao.getRawLogFileData();
            data = ZarnPGzipHelper::gzipDeflate(std::string_view(all));
        } catch (const std::exception& e) {
            LogError(kDomain, "Failed to build the debug log: %@", e.what());
        }
        block(std::move(data));
    };
    if (!self) {
        std::string header;
        for (auto& l : getHeaderMessagesWithNotificationServicesEnabled(nullptr)) header += l;
        build(*this, std::move(header));
        return;
    }
    getHeaderData([self, build](std::string header) { build(*self, std::move(header)); });
}

}  // namespace zarn
