#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarn::platform {

// Files of the app's sandbox, rooted at a home directory ("~" expands to it, so
// "~/Documents/zarn.log" lands under the home). Safe from any thread; each call is
// independent. Failures answer false or nothing; nothing throws.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    virtual std::string homeDirectory() = 0;
    // "~" or "~/..." becomes the home directory; other paths are returned unchanged.
    virtual std::string expandTilde(const std::string& path) = 0;
    virtual std::string documentsDirectory() = 0;

    virtual bool fileExists(const std::string& path) = 0;
    // Creates (or truncates to) a file with `contents`, creating missing parent folders,
    // with file protection switched off.
    virtual bool createFile(const std::string& path, const std::string& contents) = 0;
    // Appends `data` to an existing file as one write; false when the file cannot be opened.
    virtual bool appendToFile(const std::string& path, const std::string& data) = 0;
    virtual std::optional<std::string> readFile(const std::string& path, size_t maxBytes = SIZE_MAX) = 0;
    virtual std::optional<uint64_t> fileSize(const std::string& path) = 0;
    // True for a regular file; false for a folder, a link, anything else or nothing there.
    virtual bool isRegularFile(const std::string& path) = 0;
    // Error text on failure, nothing on success.
    virtual std::optional<std::string> removeItem(const std::string& path) = 0;
    // Renames `from` to `to` in one step, replacing a file at `to`. Error text on failure.
    virtual std::optional<std::string> moveItem(const std::string& from, const std::string& to) = 0;
    // Creates the folder. Without intermediate directories its parent must already exist, so a
    // missing parent is a failure; with them every missing folder above it is made too. True when
    // the folder exists afterwards.
    virtual bool createDirectory(const std::string& path, bool withIntermediateDirectories) = 0;
    virtual std::vector<std::string> contentsOfDirectory(const std::string& path) = 0;
    // Switches the platform's data protection off for the file (a no-op where there is none).
    virtual bool setProtectionNone(const std::string& path) = 0;
};

// POSIX files under a given home directory.
class PosixFileSystem final : public FileSystem {
  public:
    explicit PosixFileSystem(std::string home);
    std::string homeDirectory() override { return home_; }
    std::string expandTilde(const std::string& path) override;
    std::string documentsDirectory() override { return home_ + "/Documents"; }
    bool fileExists(const std::string& path) override;
    bool createFile(const std::string& path, const std::string& contents) override;
    bool appendToFile(const std::string& path, const std::string& data) override;
    std::optional<std::string> readFile(const std::string& path, size_t maxBytes) override;
    std::optional<uint64_t> fileSize(const std::string& path) override;
    bool isRegularFile(const std::string& path) override;
    std::optional<std::string> removeItem(const std::string& path) override;
    std::optional<std::string> moveItem(const std::string& from, const std::string& to) override;
    bool createDirectory(const std::string& path, bool withIntermediateDirectories) override;
    std::vector<std::string> contentsOfDirectory(const std::string& path) override;
    bool setProtectionNone(const std::string& path) override;

  private:
    std::string home_;
};

}  // namespace zarn::platform
