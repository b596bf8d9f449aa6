#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Format.h"
#include "core/ZarnPPublicLogging.h"
#include "platform/Mutex.h"
#include "zarn/Date.h"
#include "zarn/ValueFwd.h"

namespace zarn {

namespace platform {
class FileSystem;
class TimeSource;
}  // namespace platform

class ZarnPClockDao;
class ZarnPContext;
class ZarnPDelegateDataDao;
class ZarnPDeviceDataDao;
class ZarnPLocationWithAccuracy;
class ZarnPNotificationsEnabledCallback;

// The plain-language debug log for the app's developers: one file per calendar day of the
// device's time zone, "~/Documents/zarndebug-yyyy-MM-dd.log", the last seven days kept, and an
// export (a header about the phone and app, then the day files, gzip-compressed).
//
// Lines are written only while enabled. Every line also goes to the console and to the
// context's collected log. The app's threads and the SDK thread write alike: each line, the
// purge and the export are serialised by one lock. Nothing here throws.
class ZarnPSystemPublicLogDao : public ZarnPPublicLogging,
                                public std::enable_shared_from_this<ZarnPSystemPublicLogDao> {
  public:
    // A ranged beacon as a log line shows it.
    struct Beacon {
        std::string uuid;
        int major = 0;
        int minor = 0;
    };
    // Whether the library is enabled, for the export header's "zarn_status". The module hands
    // in the facade's flag: asking the public isEnabled from here could wait on the SDK thread.
    using EnabledQuery = std::function<bool()>;

    // initWithClockDao:deviceDataDao:delegateDataDao:, with the file system of the day files,
    // the source of the device's time zone and the enabled query. The clock, the file system,
    // the time zone source and the query are required; without a device-data or delegate-data
    // store the export header shows their cautious answers.
    ZarnPSystemPublicLogDao(std::shared_ptr<ZarnPClockDao> clockDao,
                            std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                            std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao,
                            std::shared_ptr<platform::FileSystem> fileSystem,
                            std::shared_ptr<platform::TimeSource> timeZoneSource,
                            EnabledQuery libraryEnabled);
    virtual ~ZarnPSystemPublicLogDao() = default;
    ZarnPSystemPublicLogDao(const ZarnPSystemPublicLogDao&) = delete;
    ZarnPSystemPublicLogDao& operator=(const ZarnPSystemPublicLogDao&) = delete;

    bool enabled();
    void setEnabled(bool enabled);

    // While kept open, the lines of a run reuse the day file opened first, even past midnight.
    void keepLogFileOpen();
    void stopKeepingLogFileOpen();

    // Writes the line only while enabled.
    template <typename... Args>
    void logMessageIfEnabled(const std::shared_ptr<ZarnPContext>& context, std::string_view format,
                             const Args&... args) {
        if (!enabled())
            return;
        logMessage(context, format, args...);
    }
    // Write unconditionally.
    template <typename... Args>
    void logMessage(const std::shared_ptr<ZarnPContext>& context, std::string_view format,
                    const Args&... args) {
        if constexpr (sizeof...(Args) == 0) {
            logMessageAndArguments(context, format, {});
        } else {
            logMessageAndArguments(context, format, std::vector<FormatArg>{FormatArg::forLog(args)...});
        }
    }
    void logMessageAndArguments(const std::shared_ptr<ZarnPContext>& context, std::string_view format,
                                const std::vector<FormatArg>& arguments);
    void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>& context,
                                         std::string_view format,
                                         const std::vector<FormatArg>& arguments) override;

    // The event lines (only while enabled).
    void logZarnEnabled(bool enabled, const std::shared_ptr<ZarnPContext>& context);
    void logOfferNotificationCount(long count, const std::shared_ptr<ZarnPContext>& context);
    void logOfferGeotriggerCount(long count, const std::shared_ptr<ZarnPContext>& context);
    void logPassedNotificationCount(long count, const std::shared_ptr<ZarnPContext>& context);
    void logPassedGeotriggerCount(long count, const std::shared_ptr<ZarnPContext>& context);
    void logSingleNotificationCooldown(const std::string& identifier,
                                       const std::shared_ptr<ZarnPContext>& context);
    void logNotificationCooldown(const std::shared_ptr<ZarnPContext>& context);
    void logFailedDataUpdate(const std::shared_ptr<ZarnPContext>& context);
    void logNotificationDistance(const std::string& identifier, const std::optional<std::string>& message,
                                 int matchRange, double distance, bool accurateEnough,
                                 const std::shared_ptr<ZarnPContext>& context);
    // A null location gives the line about failing to obtain one.
    void logLocationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                             const std::shared_ptr<ZarnPContext>& context);
    void logUserOptOutForNotification(const std::shared_ptr<ZarnPContext>& context);
    void logUserHasToLeaveFirst(const std::string& identifier, const std::optional<std::string>& message,
                                const std::shared_ptr<ZarnPContext>& context);
    void logNotificationSent(const std::string& identifier, const std::optional<std::string>& message,
                             const std::shared_ptr<ZarnPContext>& context);
    void logNotificationOpened(const std::string& identifier, const std::optional<std::string>& message,
                               const std::shared_ptr<ZarnPContext>& context);
    void logGeotriggerSent(const std::string& identifier, const std::optional<std::string>& name,
                           const std::shared_ptr<ZarnPContext>& context);
    void logGeotriggerHandled(const std::string& identifier, const std::optional<std::string>& name,
                              const std::shared_ptr<ZarnPContext>& context);
    void logSegmentationChanged(const std::shared_ptr<ZarnPContext>& context);
    void logSegmentationCreatedFor(const std::string& key, const std::string& value,
                                   const std::shared_ptr<ZarnPContext>& context);
    void logFailedToObtainCurrentLocationFor(const std::string& triggerKind,
                                             const std::shared_ptr<ZarnPContext>& context);
    void logOfferingExternalRegionsCount(long count, const std::shared_ptr<ZarnPContext>& context);
    void logCheckingExternalMatches(const std::string& triggerType, const Value& properties,
                                    const std::shared_ptr<ZarnPContext>& context);
    void logRangedBeacons(const std::vector<Beacon>& beacons, const std::shared_ptr<ZarnPContext>& context);
    void logScreenTransition(const std::string& screenName, const std::shared_ptr<ZarnPContext>& context);

    // Builds the export and passes it to the block on the SDK thread (nothing when compression
    // failed). Any thread.
    void getLogFileData(std::function<void(std::optional<std::vector<std::uint8_t>>)> block);

    // The parts, public for the export and for tests.
    std::string getFileNameForDate(Date date);
    void purgeOldFiles();
    void openFile();
    void closeFile();
    static std::string getShortMessage(const std::optional<std::string>& message);
    static std::string nilToEmptyString(const std::optional<std::string>& text);
    static std::string boolToString(bool value);
    static std::string boolToEnabled(bool value);
    static std::string intToAuthorizationStatus(int status);
    void getHeaderMessages(std::function<void(std::vector<std::string>)> block);
    std::vector<std::string> getHeaderMessagesWithNotificationServicesEnabled(
        const std::shared_ptr<ZarnPNotificationsEnabledCallback>& notificationState);
    void getHeaderData(std::function<void(std::string)> block);
    // The day files of the last seven calendar days, oldest first (after a purge).
    std::string getRawLogFileData();

  private:
    long zoneOffsetAt(Date date);
    // The local calendar day of a date as days since 1970-01-01.
    int64_t localDayNumber(Date date);
    std::string fileNameForLocalDay(int64_t dayNumber);
    std::string entryDate(Date date);
    std::string pathForFileName(const std::string& name);
    void purgeOldFilesLocked(Date now) ZARN_REQUIRES(mutex_);
    void openFileLocked(Date now) ZARN_REQUIRES(mutex_);
    void closeFileLocked() ZARN_REQUIRES(mutex_);
    std::string rawLogFileDataLocked(Date now) ZARN_REQUIRES(mutex_);

    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao_;
    std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao_;
    std::shared_ptr<platform::FileSystem> fileSystem_;
    std::shared_ptr<platform::TimeSource> timeZoneSource_;

    // Also keeps the day files' writers, purges and readers apart.
    Mutex mutex_;
    bool enabled_ ZARN_GUARDED_BY(mutex_) = false;
    bool keepFileOpen_ ZARN_GUARDED_BY(mutex_) = false;
    std::optional<std::string> fileHandle_ ZARN_GUARDED_BY(mutex_);  // the path of the open day file
    std::string fullFile_ ZARN_GUARDED_BY(mutex_);  // the day file last found full, told once
    std::optional<Date> lastPurge_ ZARN_GUARDED_BY(mutex_);
    const EnabledQuery libraryEnabled_;
};

}  // namespace zarn
