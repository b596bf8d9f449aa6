#pragma once
#include <optional>
#include <string>

namespace zarn::sim {

// A self-signed certificate for 127.0.0.1 and localhost, made at run time (valid for two
// days, so nothing that expires is ever kept), with its key, in PEM files under a directory.
struct TestCertificate {
    std::string certificateFile;  // also the CA file a client trusts
    std::string keyFile;

    // Nothing when the files cannot be made.
    static std::optional<TestCertificate> create(const std::string& directory);
};

}  // namespace zarn::sim
