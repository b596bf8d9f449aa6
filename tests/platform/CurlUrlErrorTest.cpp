#include "platform/CurlUrlError.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "zarn/platform/HttpClient.h"

namespace zarn {
namespace {

TEST(CurlUrlErrorTest, CurlFailuresMapToUrlLoadingCodes) {
    // CURLcode values are part of libcurl's stable interface.
    const struct {
        int curl;
        long osErrno;
        long verify;
        long code;
    } cases[] = {
        {28, 0, 0, platform::kUrlErrorTimedOut},
        {6, 0, 0, platform::kUrlErrorCannotFindHost},
        {5, 0, 0, platform::kUrlErrorDNSLookupFailed},
        {7, ECONNREFUSED, 0, platform::kUrlErrorCannotConnectToHost},
        {7, ENETUNREACH, 0, platform::kUrlErrorNotConnectedToInternet},
        {7, ENETDOWN, 0, platform::kUrlErrorNotConnectedToInternet},
        {52, 0, 0, platform::kUrlErrorNetworkConnectionLost},
        {56, 0, 0, platform::kUrlErrorNetworkConnectionLost},
        {18, 0, 0, platform::kUrlErrorNetworkConnectionLost},
        {1, 0, 0, platform::kUrlErrorUnsupportedURL},
        {3, 0, 0, platform::kUrlErrorBadURL},
        {35, 0, 0, platform::kUrlErrorSecureConnectionFailed},
        {60, 0, 10, platform::kUrlErrorServerCertificateHasBadDate},
        {60, 0, 9, platform::kUrlErrorServerCertificateNotYetValid},
        {60, 0, 18, platform::kUrlErrorServerCertificateHasUnknownRoot},
        {60, 0, 62, platform::kUrlErrorServerCertificateUntrusted},
        {8, 0, 0, platform::kUrlErrorBadServerResponse},
        {63, 0, 0, platform::kUrlErrorDataLengthExceedsMaximum},
        {42, 0, 0, platform::kUrlErrorCancelled},
        {2, 0, 0, platform::kUrlErrorUnknown},
    };
    for (const auto& c : cases) {
        Error e = platform::urlErrorForCurl(c.curl, c.osErrno, c.verify, "detail");
        EXPECT_EQ(e.code, c.code) << c.curl << "/" << c.osErrno << "/" << c.verify;
        EXPECT_EQ(e.domain, platform::kUrlErrorDomain);
        EXPECT_NE(e.message.find("(detail)"), std::string::npos);
    }
}

}  // namespace
}  // namespace zarn
