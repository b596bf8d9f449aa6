#include "core/ZarnPLogger.h"

#include <algorithm>
#include <cstdlib>

#include "core/ZarnException.h"
#include "zarn/Value.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/UserDefaults.h"

namespace zarn {

ZarnPLogger& ZarnPLogger::instance() {
    // Never destroyed, so threads that log during process exit find it alive.
    static ZarnPLogger* logger = new ZarnPLogger(nullptr, nullptr);
    return *logger;
}

ZarnPLogger::ZarnPLogger(std::shared_ptr<platform::UserDefaults> defaults,
                         std::shared_ptr<platform::Console> console)
    : defaults_(std::move(defaults)), console_(std::move(console)) {
    int level = ZarnPLogLevelDebug;
    if (auto d = userDefaults()) {
        if (auto stored = d->integerForKey("LoggerLevel"))
            level = static_cast<int>(*stored);
    }
    setLevel(level);
}

std::shared_ptr<platform::UserDefaults> ZarnPLogger::userDefaults() {
    return defaults_ ? defaults_ : platform::current().userDefaults;
}

std::shared_ptr<platform::Console> ZarnPLogger::console() {
    return console_ ? console_ : platform::console();
}

int ZarnPLogger::level() {
    MutexLock lk(mutex_);
    return level_;
}

void ZarnPLogger::setLevel(int level) {
    {
        MutexLock lk(mutex_);
        level_ = level;
    }
    if (auto d = userDefaults()) {
        d->setInteger(level, "LoggerLevel");
        d->synchronize();
    }
}

void ZarnPLogger::setLevel(int level, const std::string& domain) {
    MutexLock lk(mutex_);
    domainLevels_[domain] = level;
}

int ZarnPLogger::levelForDomain(const std::string& domain) {
    MutexLock lk(mutex_);
    auto it = domainLevels_.find(domain);
    return it == domainLevels_.end() ? ZarnPLogLevelUseGlobal : it->second;
}

bool ZarnPLogger::isEnabled(int level, const std::string& domain) {
    MutexLock lk(mutex_);
    if (level > level_)
        return false;
    if (!domain.empty()) {
        auto it = domainLevels_.find(domain);
        if (it != domainLevels_.end() && it->second != ZarnPLogLevelUseGlobal && level > it->second)
            return false;
    }
    return true;
}

bool ZarnPLogger::defaultLoggingEnabled() {
    MutexLock lk(mutex_);
    return defaultLoggingEnabled_;
}

void ZarnPLogger::setDefaultLoggingEnabled(bool enabled) {
    MutexLock lk(mutex_);
    defaultLoggingEnabled_ = enabled;
}

void ZarnPLogger::logMessage(std::string_view format, int level, const std::string& domain,
                             const std::vector<FormatArg>& args) {
    if (!isEnabled(level, domain))
        return;
    emit(formatArgs(format, args), level, domain);
}

void ZarnPLogger::logNsError(std::string_view format, const Error& error, const std::string& domain,
                             const std::vector<FormatArg>& args) {
    std::shared_ptr<ZarnPErrorRecorder> recorder;
    {
        MutexLock lk(mutex_);
        recorder = errorRecorder_;
    }
    if (recorder)
        recorder->recordError(error);
    if (!isEnabled(ZarnPLogLevelError, domain))
        return;
    // The error's text is an argument, never part of a format, and is cut like one.
    emit(zarn::format("%@ - %@", formatArgs(format, args), describeUpTo(error, kLogValueMaxBytes)),
         ZarnPLogLevelError, domain);
}

void ZarnPLogger::setErrorRecorder(std::shared_ptr<ZarnPErrorRecorder> recorder) {
    MutexLock lk(mutex_);
    errorRecorder_ = std::move(recorder);
}

void ZarnPLogger::emit(const std::string& message, int level, const std::string& domain) {
    std::vector<std::shared_ptr<ZarnPLogListener>> snapshot;
    bool toConsole;
    {
        MutexLock lk(mutex_);
        snapshot = listeners_;
        toConsole = defaultLoggingEnabled_;
    }
    if (toConsole)
        writeConsole(zarn::format("%@|%@| %@", nameForLevel(level), domain, message));
    for (auto& l : snapshot) l->didLogMessage(message, level, domain);
}

void ZarnPLogger::writeConsole(const std::string& line) {
    if (auto c = console())
        c->write(line);
}

void ZarnPLogger::addListener(std::shared_ptr<ZarnPLogListener> listener) {
    if (!listener)
        return;
    MutexLock lk(mutex_);
    listeners_.push_back(std::move(listener));
}

bool ZarnPLogger::removeListener(const std::shared_ptr<ZarnPLogListener>& listener) {
    MutexLock lk(mutex_);
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it == listeners_.end())
        return false;
    listeners_.erase(it);
    return true;
}

std::vector<std::shared_ptr<ZarnPLogListener>> ZarnPLogger::listeners() {
    MutexLock lk(mutex_);
    return listeners_;
}

void ZarnPLogger::setListenerPropertyValue(const Value& value, const std::string& name) {
    MutexLock lk(mutex_);
    listenerProperties_[name] = value;
}

std::optional<Value> ZarnPLogger::valueForlistenerPropertyName(const std::string& name) {
    MutexLock lk(mutex_);
    auto it = listenerProperties_.find(name);
    if (it == listenerProperties_.end())
        return std::nullopt;
    return it->second;
}

std::string ZarnPLogger::nameForLevel(int level) {
    switch (level) {
        case ZarnPLogLevelUseGlobal:
            return "USEGLOBAL";
        case ZarnPLogLevelError:
            return "ERROR";
        case ZarnPLogLevelWarn:
            return "WARN";
        case ZarnPLogLevelInfo:
            return "INFO";
        case ZarnPLogLevelDebug:
            return "DEBUG";
        default:
            return "NONE";
    }
}

namespace detail {
void requireFailed(const char* expression, const char* file, int line) {
    LogError("Zarn", "Required collaborator missing: %@ (%@:%d)", expression, file, line);
    std::abort();
}
}  // namespace detail

}  // namespace zarn
