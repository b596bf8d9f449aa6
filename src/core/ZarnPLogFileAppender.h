#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPLogListener.h"
#include "platform/Mutex.h"

namespace zarn {

namespace platform {
class FileSystem;
class TimeSource;
}  // namespace platform

// Appends every logged line to a file ("dd-MM HH:mm:ss.SSS|LEVEL|domain| message"). The file
// has no protection attribute. Past kMaxFileBytes it is rolled to one previous file (the name
// with ".1"), so the log never takes more than twice that; a line longer than the whole file is
// cut to fit. Lines from several threads never interleave.
class ZarnPLogFileAppender final : public ZarnPLogListener {
  public:
    static constexpr uint64_t kMaxFileBytes = 4 * 1024 * 1024;

    // Reads the listener property "LogFileAppender.clearOnStart" (unset: no clearing).
    // An empty file name, or a missing file system or time source, stops the process.
    ZarnPLogFileAppender(const std::string& fileName, std::shared_ptr<platform::FileSystem> fileSystem,
                         std::shared_ptr<platform::TimeSource> timeSource);
    ZarnPLogFileAppender(const std::string& fileName, bool clear,
                         std::shared_ptr<platform::FileSystem> fileSystem,
                         std::shared_ptr<platform::TimeSource> timeSource);

    const std::string& fileName() const { return fileName_; }
    bool clearOnStart() const { return clearOnStart_; }

    void clearLog();
    void didLogMessage(const std::string& message, int level, const std::string& domain) override;

    // The last `count` bytes as text (all of it for 0 or less), and the whole file (which the
    // roll keeps under kMaxFileBytes plus one line).
    std::string getLogContentsTail(int count);
    std::string getLogContents();

  private:
    std::string expandedPath();
    // Moves a file that the next line would take past the cap to the ".1" file.
    void rollIfNeededLocked(const std::string& path, size_t lineBytes) ZARN_REQUIRES(mutex_);

    std::string fileName_;
    bool clearOnStart_;
    std::shared_ptr<platform::FileSystem> fileSystem_;
    std::shared_ptr<platform::TimeSource> timeSource_;
    // Also keeps the file's writers, rolls and readers apart.
    Mutex mutex_;
    std::optional<uint64_t> size_ ZARN_GUARDED_BY(mutex_);  // bytes in the file, read once and then counted
};

}  // namespace zarn
