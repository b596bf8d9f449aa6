#pragma once
#include <memory>
#include <mutex>
#include <string>

#include "core/ZarnPLogListener.h"

namespace zarn {

namespace platform {
class FileSystem;
class TimeSource;
}  // namespace platform

// Appends every logged line to a file ("dd-MM HH:mm:ss.SSS|LEVEL|domain| message"). The file
// has no protection attribute and no size limit. Lines from several threads never interleave.
class ZarnPLogFileAppender final : public ZarnPLogListener {
  public:
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

    // The last `count` bytes as text (all of it for 0 or less), and the whole file.
    std::string getLogContentsTail(int count);
    std::string getLogContents();

  private:
    std::string expandedPath();

    std::string fileName_;
    bool clearOnStart_;
    std::shared_ptr<platform::FileSystem> fileSystem_;
    std::shared_ptr<platform::TimeSource> timeSource_;
    std::mutex mutex_;
};

}  // namespace zarn
