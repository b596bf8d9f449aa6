#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Format.h"
#include "core/ZarnPErrorRecorder.h"
#include "core/ZarnPLogListener.h"
#include "platform/Mutex.h"
#include "zarn/Error.h"

namespace zarn {

namespace platform {
class Console;
class UserDefaults;
}  // namespace platform

enum ZarnPLogLevel : int {
    ZarnPLogLevelUseGlobal = -1,
    ZarnPLogLevelNone = 0,
    ZarnPLogLevelError = 1,
    ZarnPLogLevelWarn = 2,
    ZarnPLogLevelInfo = 3,
    ZarnPLogLevelDebug = 4,
};

// Filters each line by level (global, and per domain, which can only be stricter), writes it to
// the console as "LEVEL|domain| message" and hands it to the listeners in the order they were
// added. Safe from any thread; listeners run on the logging thread outside the logger's lock,
// so a listener may log.
class ZarnPLogger {
  public:
    // The process-wide logger, created on first use. It reads "LoggerLevel" from the installed
    // user defaults and writes to the installed console, looked up at each use. This is the one
    // object below the entry that reads the installed platform itself: the log functions are
    // called from every layer and every thread, before the module exists and after it is gone,
    // and passing a logger to each of them would reach every signature. Everything else is
    // handed what it uses.
    static ZarnPLogger& instance();

    // A logger of its own (tests): null collaborators mean the installed platform's.
    ZarnPLogger(std::shared_ptr<platform::UserDefaults> defaults, std::shared_ptr<platform::Console> console);
    ZarnPLogger(const ZarnPLogger&) = delete;
    ZarnPLogger& operator=(const ZarnPLogger&) = delete;

    int level();
    // Stores the level and writes it to the user defaults under "LoggerLevel".
    void setLevel(int level);
    void setLevel(int level, const std::string& domain);
    int levelForDomain(const std::string& domain);
    bool isEnabled(int level, const std::string& domain);

    bool defaultLoggingEnabled();
    void setDefaultLoggingEnabled(bool enabled);

    // Filters first, so the arguments are only formatted for a line that passes.
    void logMessage(std::string_view format, int level, const std::string& domain,
                    const std::vector<FormatArg>& args);
    // Records the error with the crash reporter, then logs "<filled format> - <error>" at ERROR.
    void logNsError(std::string_view format, const Error& error, const std::string& domain,
                    const std::vector<FormatArg>& args);

    // Where logged error objects go first; null sends them nowhere.
    void setErrorRecorder(std::shared_ptr<ZarnPErrorRecorder> recorder);

    void addListener(std::shared_ptr<ZarnPLogListener> listener);
    bool removeListener(const std::shared_ptr<ZarnPLogListener>& listener);
    std::vector<std::shared_ptr<ZarnPLogListener>> listeners();

    void setListenerPropertyValue(const Value& value, const std::string& name);
    std::optional<Value> valueForlistenerPropertyName(const std::string& name);

    static std::string nameForLevel(int level);

    // Writes a line to the console only (no filter, no listeners).
    void writeConsole(const std::string& line);

  private:
    void emit(const std::string& message, int level, const std::string& domain);
    std::shared_ptr<platform::UserDefaults> userDefaults();
    std::shared_ptr<platform::Console> console();

    Mutex mutex_;
    const std::shared_ptr<platform::UserDefaults> defaults_;
    const std::shared_ptr<platform::Console> console_;
    int level_ ZARN_GUARDED_BY(mutex_) = ZarnPLogLevelDebug;
    bool defaultLoggingEnabled_ ZARN_GUARDED_BY(mutex_) = true;
    std::vector<std::shared_ptr<ZarnPLogListener>> listeners_ ZARN_GUARDED_BY(mutex_);
    std::shared_ptr<ZarnPErrorRecorder> errorRecorder_ ZARN_GUARDED_BY(mutex_);
    std::map<std::string, Value> listenerProperties_ ZARN_GUARDED_BY(mutex_);
    std::map<std::string, int> domainLevels_ ZARN_GUARDED_BY(mutex_);
};

// The five logging functions, with twins taking ready arguments. The templates describe each
// argument for a log line: cut at kLogValueMaxBytes, so no value floods the log.
inline void LogDebugv(const std::string& domain, std::string_view fmt, const std::vector<FormatArg>& args) {
    ZarnPLogger::instance().logMessage(fmt, ZarnPLogLevelDebug, domain, args);
}
inline void LogInfov(const std::string& domain, std::string_view fmt, const std::vector<FormatArg>& args) {
    ZarnPLogger::instance().logMessage(fmt, ZarnPLogLevelInfo, domain, args);
}
inline void LogWarnv(const std::string& domain, std::string_view fmt, const std::vector<FormatArg>& args) {
    ZarnPLogger::instance().logMessage(fmt, ZarnPLogLevelWarn, domain, args);
}
inline void LogErrorv(const std::string& domain, std::string_view fmt, const std::vector<FormatArg>& args) {
    ZarnPLogger::instance().logMessage(fmt, ZarnPLogLevelError, domain, args);
}
inline void LogNsErrorv(const std::string& domain, const Error& error, std::string_view fmt,
                        const std::vector<FormatArg>& args) {
    ZarnPLogger::instance().logNsError(fmt, error, domain, args);
}

namespace detail {
template <typename... Args>
void logAt(int level, const std::string& domain, std::string_view fmt, const Args&... args) {
    auto& logger = ZarnPLogger::instance();
    if (!logger.isEnabled(level, domain))
        return;
    if constexpr (sizeof...(Args) == 0) {
        logger.logMessage(fmt, level, domain, {});
    } else {
        logger.logMessage(fmt, level, domain, std::vector<FormatArg>{FormatArg::forLog(args)...});
    }
}
}  // namespace detail

template <typename... Args>
void LogDebug(const std::string& domain, std::string_view fmt, const Args&... args) {
    detail::logAt(ZarnPLogLevelDebug, domain, fmt, args...);
}
template <typename... Args>
void LogInfo(const std::string& domain, std::string_view fmt, const Args&... args) {
    detail::logAt(ZarnPLogLevelInfo, domain, fmt, args...);
}
template <typename... Args>
void LogWarn(const std::string& domain, std::string_view fmt, const Args&... args) {
    detail::logAt(ZarnPLogLevelWarn, domain, fmt, args...);
}
template <typename... Args>
void LogError(const std::string& domain, std::string_view fmt, const Args&... args) {
    detail::logAt(ZarnPLogLevelError, domain, fmt, args...);
}
template <typename... Args>
void LogNsError(const std::string& domain, const Error& error, std::string_view fmt, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        ZarnPLogger::instance().logNsError(fmt, error, domain, {});
    } else {
        ZarnPLogger::instance().logNsError(fmt, error, domain,
                                           std::vector<FormatArg>{FormatArg::forLog(args)...});
    }
}

// Whether a DEBUG line of the domain would pass; lets callers skip building costly text.
inline bool IsLogDebugEnabled(const std::string& domain) {
    return ZarnPLogger::instance().isEnabled(ZarnPLogLevelDebug, domain);
}

}  // namespace zarn
