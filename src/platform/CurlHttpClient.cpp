#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/CurlUrlError.h"
#include "platform/Mutex.h"
#include "zarn/platform/HttpClient.h"

namespace zarn::platform {

std::string defaultServiceBaseAddress() {
    return "https://" + std::string(kDefaultServiceHost) + std::string(kServicePath);
}

namespace {

Error urlError(long code, const char* text, std::string_view detail) {
    std::string message = text;
    if (!detail.empty()) {
        message += " (";
        message += detail;
        message += ")";
    }
    return Error{kUrlErrorDomain, code, std::move(message)};
}

// A connection that failed before any byte was exchanged: the system's reason tells whether the
// device has no route at all or the host turned the connection away.
Error connectError(long osErrno, std::string_view detail) {
    switch (osErrno) {
        case ENETUNREACH:
        case ENETDOWN:
            return urlError(kUrlErrorNotConnectedToInternet, "The Internet connection appears to be offline.",
                            detail);
        case ETIMEDOUT:
            return urlError(kUrlErrorTimedOut, "The request timed out.", detail);
        default:
            return urlError(kUrlErrorCannotConnectToHost, "Could not connect to the server.", detail);
    }
}

Error certificateError(long verifyResult, std::string_view detail) {
    switch (verifyResult) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return urlError(kUrlErrorServerCertificateHasBadDate,
                            "The certificate for this server has expired.", detail);
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return urlError(kUrlErrorServerCertificateNotYetValid,
                            "The certificate for this server is not yet valid.", detail);
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
            return urlError(kUrlErrorServerCertificateHasUnknownRoot,
                            "The certificate for this server was signed by an unknown certifying authority.",
                            detail);
        default:
            return urlError(kUrlErrorServerCertificateUntrusted,
                            "The certificate for this server is invalid.", detail);
    }
}

}  // namespace

Error urlErrorForCurl(int curlCode, long osErrno, long verifyResult, std::string_view detail) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OPERATION_TIMEDOUT:
            return urlError(kUrlErrorTimedOut, "The request timed out.", detail);
        case CURLE_COULDNT_RESOLVE_HOST:
            return urlError(kUrlErrorCannotFindHost,
                            "A server with the specified hostname could not be found.", detail);
        case CURLE_COULDNT_RESOLVE_PROXY:
            return urlError(kUrlErrorDNSLookupFailed, "The DNS lookup failed.", detail);
        case CURLE_COULDNT_CONNECT:
            return connectError(osErrno, detail);
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_HTTP3:
            return urlError(kUrlErrorNetworkConnectionLost, "The network connection was lost.", detail);
        case CURLE_URL_MALFORMAT:
            return urlError(kUrlErrorBadURL, "unsupported URL", detail);
        case CURLE_UNSUPPORTED_PROTOCOL:
            return urlError(kUrlErrorUnsupportedURL, "unsupported URL", detail);
        case CURLE_TOO_MANY_REDIRECTS:
            return urlError(kUrlErrorHTTPTooManyRedirects, "too many HTTP redirects", detail);
        case CURLE_WEIRD_SERVER_REPLY:
            return urlError(kUrlErrorBadServerResponse, "The server returned a bad response.", detail);
        case CURLE_BAD_CONTENT_ENCODING:
            return urlError(kUrlErrorCannotDecodeContentData, "cannot decode raw data", detail);
        case CURLE_FILESIZE_EXCEEDED:
        case CURLE_WRITE_ERROR:
            return urlError(kUrlErrorDataLengthExceedsMaximum, "resource exceeds maximum size", detail);
        case CURLE_ABORTED_BY_CALLBACK:
            return urlError(kUrlErrorCancelled, "cancelled", detail);
        case CURLE_PEER_FAILED_VERIFICATION:
            return certificateError(verifyResult, detail);
        case CURLE_SSL_CERTPROBLEM:
            return urlError(kUrlErrorClientCertificateRejected, "The server did not accept the certificate.",
                            detail);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_SHUTDOWN_FAILED:
            return urlError(kUrlErrorSecureConnectionFailed,
                            "An SSL error has occurred and a secure connection to the server cannot be made.",
                            detail);
        default:
            return urlError(kUrlErrorUnknown, "unknown error", detail);
    }
}

namespace {

std::once_flag curlInitialised;

struct Transfer {
    HttpRequest request;
    HttpClient::Completion completion;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    HttpResponse response;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    char errorText[CURL_ERROR_SIZE] = {};

    ~Transfer() {
        if (easy)
            curl_easy_cleanup(easy);
        if (headers)
            curl_slist_free_all(headers);
    }
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    if (t->response.body.size() + n > t->maxBytes) {
        t->tooLarge = true;
        return 0;  // curl ends the transfer with CURLE_WRITE_ERROR
    }
    t->response.body.insert(t->response.body.end(), data, data + n);
    return n;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        t->response.headers.clear();  // a new (final or interim) response begins
        return line.size();
    }
    auto colon = line.find(':');
    if (colon != std::string_view::npos)
        t->response.headers.emplace_back(std::string(trim(line.substr(0, colon))),
                                         std::string(trim(line.substr(colon + 1))));
    return line.size();
}

}  // namespace

struct CurlHttpClient::Worker {
    Options options;
    CURLM* multi = nullptr;
    Mutex mutex;
    bool stopping ZARN_GUARDED_BY(mutex) = false;
    bool started ZARN_GUARDED_BY(mutex) = false;
    // Set when the client is destroyed on the worker thread itself (the last reference dropped in
    // a completion): the thread then owns and frees the worker when its loop ends.
    bool ownedByThread ZARN_GUARDED_BY(mutex) = false;
    std::deque<std::unique_ptr<Transfer>> incoming ZARN_GUARDED_BY(mutex);
    std::thread thread ZARN_GUARDED_BY(mutex);
    std::map<CURL*, std::unique_ptr<Transfer>> running;  // worker thread only

    void run();
    bool setUp(Transfer& t);
    void finish(CURL* easy, CURLcode code);
};

bool CurlHttpClient::Worker::setUp(Transfer& t) {
    t.easy = curl_easy_init();
    if (!t.easy)
        return false;
    CURL* e = t.easy;
    const HttpRequest& r = t.request;
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorText);
    curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
    if (!options.dnsOverHttpsUrl.empty())
        curl_easy_setopt(e, CURLOPT_DOH_URL, options.dnsOverHttpsUrl.c_str());
    double seconds = std::isfinite(r.timeoutSeconds) && r.timeoutSeconds > 0 ? r.timeoutSeconds : 60.0;
    long ms = static_cast<long>(std::ceil(std::min(seconds, 86400.0) * 1000.0));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, ms);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, ms);
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.maxBytes));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    for (const auto& [name, value] : r.headers) {
        std::string line = name + ": " + value;
        if (value.empty())
            line = name + ";";  // curl's form for a header with an empty value
        t.headers = curl_slist_append(t.headers, line.c_str());
    }
    // The whole body goes at once, without waiting for an interim answer.
    t.headers = curl_slist_append(t.headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
    static const char kEmpty[] = "";
    const char* body = r.body.empty() ? kEmpty : reinterpret_cast<const char*>(r.body.data());
    if (r.method == "GET") {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (r.method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, body);
        if (r.method != "POST")
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.c_str());
    }
    return curl_multi_add_handle(multi, e) == CURLM_OK;
}

void CurlHttpClient::Worker::finish(CURL* easy, CURLcode code) {
    auto it = running.find(easy);
    if (it == running.end())
        return;
    std::unique_ptr<Transfer> t = std::move(it->second);
    running.erase(it);
    curl_multi_remove_handle(multi, easy);
    HttpResult result;
    if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        result.response = std::move(t->response);
        result.response.statusCode = static_cast<int>(status);
    } else if (t->tooLarge) {
        result.error =
            Error{kUrlErrorDomain, kUrlErrorDataLengthExceedsMaximum, "resource exceeds maximum size"};
    } else {
        long osErrno = 0, verify = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
        std::string_view detail = t->errorText[0] ? t->errorText : curl_easy_strerror(code);
        result.error = urlErrorForCurl(code, osErrno, verify, detail);
    }
    auto completion = std::move(t->completion);
    t.reset();
    completion(std::move(result));
}

void CurlHttpClient::Worker::run() {
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> taken;
        {
            MutexLock lk(mutex);
            if (stopping)
                break;
            taken.swap(incoming);
        }
        for (auto& t : taken) {
            CURL* easy = nullptr;
            if (setUp(*t)) {
                easy = t->easy;
                running.emplace(easy, std::move(t));
            } else {
                auto completion = std::move(t->completion);
                t.reset();
                completion(
                    HttpResult{Error{kUrlErrorDomain, kUrlErrorUnknown, "unknown error (no transfer)"}, {}});
            }
        }
        int still = 0;
        curl_multi_perform(multi, &still);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE)
                finish(msg->easy_handle, msg->data.result);
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (auto& [easy, t] : running) curl_multi_remove_handle(multi, easy);
    running.clear();
}

CurlHttpClient::CurlHttpClient() : CurlHttpClient(Options{}) {}

CurlHttpClient::CurlHttpClient(Options options) : worker_(std::make_unique<Worker>()) {
    std::call_once(curlInitialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    worker_->options = std::move(options);
    worker_->multi = curl_multi_init();
}

CurlHttpClient::~CurlHttpClient() {
    std::thread thread;
    bool onWorker;
    {
        MutexLock lk(worker_->mutex);
        worker_->stopping = true;
        // A thread cannot join itself: it finishes its loop and frees the worker on its own.
        onWorker = worker_->thread.joinable() && worker_->thread.get_id() == std::this_thread::get_id();
        if (onWorker) {
            worker_->ownedByThread = true;
            worker_->thread.detach();
        } else {
            thread = std::move(worker_->thread);
        }
    }
    if (worker_->multi)
        curl_multi_wakeup(worker_->multi);
    if (onWorker) {
        worker_.release();
        return;
    }
    if (thread.joinable())
        thread.join();
    std::deque<std::unique_ptr<Transfer>> unsent;
    {
        MutexLock lk(worker_->mutex);
        unsent.swap(worker_->incoming);
    }
    unsent.clear();
    if (worker_->multi)
        curl_multi_cleanup(worker_->multi);
}

void CurlHttpClient::send(HttpRequest request, Completion completion) {
    auto t = std::make_unique<Transfer>();
    t->request = std::move(request);
    t->completion = std::move(completion);
    t->maxBytes = worker_->options.maxResponseBytes;
    if (!worker_->multi) {
        auto c = std::move(t->completion);
        std::thread([c = std::move(c)] {
            c(HttpResult{Error{kUrlErrorDomain, kUrlErrorUnknown, "unknown error (no transfer)"}, {}});
        }).detach();
        return;
    }
    {
        MutexLock lk(worker_->mutex);
        if (worker_->stopping)
            return;
        worker_->incoming.push_back(std::move(t));
        if (!worker_->started) {
            worker_->started = true;
            worker_->thread = std::thread([w = worker_.get()] {
                w->run();
                bool owned;
                std::deque<std::unique_ptr<Transfer>> unsent;
                {
                    MutexLock lk(w->mutex);
                    owned = w->ownedByThread;
                    if (owned)
                        unsent.swap(w->incoming);
                }
                if (owned) {
                    unsent.clear();
                    if (w->multi)
                        curl_multi_cleanup(w->multi);
                    delete w;
                }
            });
        }
    }
    curl_multi_wakeup(worker_->multi);
}

}  // namespace zarn::platform
