#include "core/ZarnPLogFileAppender.h"

#include <algorithm>

#include "core/DateFormat.h"
#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "zarn/Value.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/TimeSource.h"

namespace zarn {

namespace {
bool clearOnStartProperty() {
    auto v = ZarnPLogger::instance().valueForlistenerPropertyName("LogFileAppender.clearOnStart");
    if (!v)
        return false;
    if (v->is_boolean())
        return v->get<bool>();
    if (v->is_number())
        return v->get<double>() != 0;
    return false;
}
}  // namespace

ZarnPLogFileAppender::ZarnPLogFileAppender(const std::string& fileName,
                                           std::shared_ptr<platform::FileSystem> fileSystem,
                                           std::shared_ptr<platform::TimeSource> timeSource)
    : ZarnPLogFileAppender(fileName, clearOnStartProperty(), std::move(fileSystem), std::move(timeSource)) {}

ZarnPLogFileAppender::ZarnPLogFileAppender(const std::string& fileName, bool clear,
                                           std::shared_ptr<platform::FileSystem> fileSystem,
                                           std::shared_ptr<platform::TimeSource> timeSource)
    : fileName_(fileName),
      clearOnStart_(clear),
      fileSystem_(std::move(fileSystem)),
      timeSource_(std::move(timeSource)) {
    ZARN_REQUIRE(!fileName_.empty());
    ZARN_REQUIRE(fileSystem_);
    ZARN_REQUIRE(timeSource_);
    if (clearOnStart_)
        clearLog();
}

std::string ZarnPLogFileAppender::expandedPath() {
    return fileSystem_->expandTilde(fileName_);
}

void ZarnPLogFileAppender::clearLog() {
    std::string path = expandedPath();
    std::optional<std::string> removeError;
    {
        MutexLock lk(mutex_);
        if (fileSystem_->fileExists(path))
            removeError = fileSystem_->removeItem(path);
        fileSystem_->createFile(path, "");
        fileSystem_->setProtectionNone(path);
        size_ = 0;
    }
    // Logged outside the lock: this appender receives the line too.
    if (removeError)
        LogNsError("LogFileAppender", Error{"ZarnFileSystem", 4, *removeError}, "Error removing log file %@",
                   path);
}

void ZarnPLogFileAppender::didLogMessage(const std::string& message, int level, const std::string& domain) {
    std::string path = expandedPath();
    Date now = timeSource_->now();
    std::string stamp = formatDate(now, timeSource_->timeZoneOffsetSeconds(now), "dd-MM HH:mm:ss.SSS");
    std::string head = format("%@|%@|%@| ", stamp, ZarnPLogger::nameForLevel(level), domain);
    // The logger cuts each value of a line; a line handed in whole is still cut to fit the file.
    size_t overhead = std::min<size_t>(head.size() + 1 + kCutMark.size(), kMaxFileBytes);
    std::string line = head + cutText(message, kMaxFileBytes - overhead) + "\n";
    bool written;
    {
        MutexLock lk(mutex_);
        rollIfNeededLocked(path, line.size());
        if (!fileSystem_->fileExists(path)) {
            fileSystem_->createFile(path, "");
            fileSystem_->setProtectionNone(path);
            size_ = 0;
        }
        written = fileSystem_->appendToFile(path, line);
        if (written)
            size_ = size_.value_or(0) + line.size();
    }
    if (!written)
        ZarnPLogger::instance().writeConsole(format("LoggerFileAppender: Error opening log file: %@", path));
}

void ZarnPLogFileAppender::rollIfNeededLocked(const std::string& path, size_t lineBytes) {
    if (!size_)
        size_ = fileSystem_->fileSize(path).value_or(0);
    if (*size_ == 0 || *size_ + lineBytes <= kMaxFileBytes)
        return;
    // Failures here only cost the old lines; the new line still gets written.
    std::string previous = path + ".1";
    if (fileSystem_->fileExists(previous))
        fileSystem_->removeItem(previous);
    fileSystem_->moveItem(path, previous);
    fileSystem_->createFile(path, "");
    fileSystem_->setProtectionNone(path);
    size_ = 0;
}

std::string ZarnPLogFileAppender::getLogContentsTail(int count) {
    std::string all = getLogContents();
    if (count <= 0 || static_cast<size_t>(count) >= all.size())
        return all;
    return all.substr(all.size() - static_cast<size_t>(count));
}

std::string ZarnPLogFileAppender::getLogContents() {
    MutexLock lk(mutex_);
    // A file grown by another writer is read up to twice the cap, never whole.
    return fileSystem_->readFile(expandedPath(), 2 * kMaxFileBytes).value_or("");
}

}  // namespace zarn
