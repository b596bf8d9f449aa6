#pragma once
#include <string_view>

#include "zarn/Error.h"

namespace zarn::platform {

// The URL-loading error for a failed curl transfer: `curlCode` is the CURLcode, `osErrno` the
// system error of the last connect (CURLINFO_OS_ERRNO) and `verifyResult` the certificate
// check's result (CURLINFO_SSL_VERIFYRESULT, an X509_V_ code). `detail` is curl's own text,
// kept in the message after the standard one. Any thread.
Error urlErrorForCurl(int curlCode, long osErrno, long verifyResult, std::string_view detail);

}  // namespace zarn::platform
