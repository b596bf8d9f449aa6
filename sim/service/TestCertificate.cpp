#include "sim/service/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace zarn::sim {

namespace {
template <typename T, void (*F)(T*)>
struct Deleter {
    void operator()(T* p) const { F(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

bool writeFile(const std::string& path, bool (*write)(FILE*, void*), void* object) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = write(f, object);
    return std::fclose(f) == 0 && ok;
}
}  // namespace

std::optional<TestCertificate> TestCertificate::create(const std::string& directory) {
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr cert(X509_new());
    if (!key || !cert)
        return std::nullopt;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("zarn test service"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (!addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
        !addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        return std::nullopt;
    TestCertificate out{directory + "/service-cert.pem", directory + "/service-key.pem"};
    bool ok =
        writeFile(
            out.certificateFile,
            [](FILE* f, void* c) { return PEM_write_X509(f, static_cast<X509*>(c)) == 1; }, cert.get()) &&
        writeFile(
            out.keyFile,
            [](FILE* f, void* k) {
                return PEM_write_PrivateKey(f, static_cast<EVP_PKEY*>(k), nullptr, nullptr, 0, nullptr,
                                            nullptr) == 1;
            },
            key.get());
    if (!ok)
        return std::nullopt;
    return out;
}

}  // namespace zarn::sim
