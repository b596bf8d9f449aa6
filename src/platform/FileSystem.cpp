#include "zarn/platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::platform {

namespace fs = std::filesystem;

PosixFileSystem::PosixFileSystem(std::string home) : home_(std::move(home)) {
    while (home_.size() > 1 && home_.back() == '/') home_.pop_back();
}

std::string PosixFileSystem::expandTilde(const std::string& path) {
    if (path == "~")
        return home_;
    if (path.rfind("~/", 0) == 0)
        return home_ + path.substr(1);
    return path;
}

bool PosixFileSystem::fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(expandTilde(path).c_str(), &st) == 0;
}

bool PosixFileSystem::createFile(const std::string& path, const std::string& contents) {
    std::string p = expandTilde(path);
    std::error_code ec;
    fs::path parent = fs::path(p).parent_path();
    if (!parent.empty())
        fs::create_directories(parent, ec);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t off = 0;
    while (off < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + off, contents.size() - off);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        off += static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
}

bool PosixFileSystem::appendToFile(const std::string& path, const std::string& data) {
    int fd = ::open(expandTilde(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t off = 0;
    bool ok = true;
    while (off < data.size()) {
        ssize_t n = ::write(fd, data.data() + off, data.size() - off);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        off += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && ok;
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path, size_t maxBytes) {
    std::ifstream in(expandTilde(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string out;
    char buf[65536];
    while (in && out.size() < maxBytes) {
        in.read(buf, static_cast<std::streamsize>(std::min(sizeof buf, maxBytes - out.size())));
        out.append(buf, static_cast<size_t>(in.gcount()));
    }
    if (in.bad())
        return std::nullopt;
    return out;
}

std::optional<uint64_t> PosixFileSystem::fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(expandTilde(path).c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

bool PosixFileSystem::isRegularFile(const std::string& path) {
    struct stat st {};
    if (::lstat(expandTilde(path).c_str(), &st) != 0)
        return false;
    return S_ISREG(st.st_mode);
}

std::optional<std::string> PosixFileSystem::removeItem(const std::string& path) {
    std::error_code ec;
    if (fs::remove_all(expandTilde(path), ec) == 0 || ec) {
        if (ec)
            return ec.message();
        return std::string("No such file or directory");
    }
    return std::nullopt;
}

std::optional<std::string> PosixFileSystem::moveItem(const std::string& from, const std::string& to) {
    if (::rename(expandTilde(from).c_str(), expandTilde(to).c_str()) != 0)
        return std::string(std::strerror(errno));
    return std::nullopt;
}

bool PosixFileSystem::createDirectory(const std::string& path, bool withIntermediateDirectories) {
    std::string p = expandTilde(path);
    std::error_code ec;
    if (withIntermediateDirectories)
        fs::create_directories(p, ec);
    else
        fs::create_directory(p, ec);
    return !ec && fs::is_directory(p, ec);
}

std::vector<std::string> PosixFileSystem::contentsOfDirectory(const std::string& path) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::directory_iterator(expandTilde(path), ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        out.push_back(it->path().filename().string());
    return out;
}

// Linux has no per-file data protection: switching it off always succeeds.
bool PosixFileSystem::setProtectionNone(const std::string& path) {
    return fileExists(path);
}

}  // namespace zarn::platform
