#pragma once
// A file system that passes every call to another; tests override the one call they change.
#include <memory>

#include "zarn/platform/FileSystem.h"

namespace zarn::test {

class ForwardingFileSystem : public platform::FileSystem {
  public:
    explicit ForwardingFileSystem(std::shared_ptr<platform::FileSystem> inner) : inner_(std::move(inner)) {}
    std::string homeDirectory() override { return inner_->homeDirectory(); }
    std::string expandTilde(const std::string& p) override { return inner_->expandTilde(p); }
    std::string documentsDirectory() override { return inner_->documentsDirectory(); }
    bool fileExists(const std::string& p) override { return inner_->fileExists(p); }
    bool createFile(const std::string& p, const std::string& c) override { return inner_->createFile(p, c); }
    bool appendToFile(const std::string& p, const std::string& d) override {
        return inner_->appendToFile(p, d);
    }
    std::optional<std::string> readFile(const std::string& p, size_t m) override {
        return inner_->readFile(p, m);
    }
    std::optional<uint64_t> fileSize(const std::string& p) override { return inner_->fileSize(p); }
    bool isRegularFile(const std::string& p) override { return inner_->isRegularFile(p); }
    std::optional<std::string> removeItem(const std::string& p) override { return inner_->removeItem(p); }
    std::optional<std::string> moveItem(const std::string& f, const std::string& t) override {
        return inner_->moveItem(f, t);
    }
    bool createDirectory(const std::string& p, bool withIntermediateDirectories) override {
        return inner_->createDirectory(p, withIntermediateDirectories);
    }
    std::vector<std::string> contentsOfDirectory(const std::string& p) override {
        return inner_->contentsOfDirectory(p);
    }
    bool setProtectionNone(const std::string& p) override { return inner_->setProtectionNone(p); }

  private:
    std::shared_ptr<platform::FileSystem> inner_;
};

}  // namespace zarn::test
