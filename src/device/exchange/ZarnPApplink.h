#pragma once
#include <optional>
#include <string>

namespace zarn {

// An app link: the address to open in the app, and the one to open when that fails.
class ZarnPApplink {
  public:
    ZarnPApplink() = default;
    ZarnPApplink(std::optional<std::string> iosAppUrl, std::optional<std::string> iosFallbackUrl)
        : iosAppUrl_(std::move(iosAppUrl)), iosFallbackUrl_(std::move(iosFallbackUrl)) {}

    const std::optional<std::string>& iosAppUrl() const { return iosAppUrl_; }
    void setIosAppUrl(std::optional<std::string> v) { iosAppUrl_ = std::move(v); }
    const std::optional<std::string>& iosFallbackUrl() const { return iosFallbackUrl_; }
    void setIosFallbackUrl(std::optional<std::string> v) { iosFallbackUrl_ = std::move(v); }

  private:
    std::optional<std::string> iosAppUrl_;
    std::optional<std::string> iosFallbackUrl_;
};

}  // namespace zarn
