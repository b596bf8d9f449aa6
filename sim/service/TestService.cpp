#include "sim/service/TestService.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <span>

#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPJson.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"

namespace zarn::sim {

namespace {
bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    std::optional<std::string> value;
    for (const auto& [k, v] : headers)
        if (sameName(k, name))
            value = v;
    return value;
}

TestService::TestService() : worker_(std::make_shared<Worker>()) {
    worker_->service = this;
    workerThread_ = std::thread(&TestService::runWorker, worker_);
}

TestService::~TestService() {
    {
        std::lock_guard lk(mutex_);
        released_ = true;
    }
    cv_.notify_all();
    {
        std::lock_guard lk(worker_->mutex);
        worker_->stopping = true;
        if (workerThread_.get_id() == std::this_thread::get_id())
            worker_->service = nullptr;
    }
    worker_->cv.notify_all();
    // On its own thread the service is going with a completion's last reference: the thread
    // ends by itself once that completion returns.
    if (workerThread_.get_id() == std::this_thread::get_id())
        workerThread_.detach();
    else
        workerThread_.join();
}

void TestService::setDataUpdate(std::vector<std::uint8_t> bytes) {
    setDataUpdateSource([bytes = std::move(bytes)](const RecordedRequest&) { return bytes; });
}

void TestService::setDataUpdateSource(DataUpdateSource source) {
    std::lock_guard lk(mutex_);
    dataUpdate_ = std::move(source);
}

void TestService::queueAnswer(TestAnswer answer) {
    std::lock_guard lk(mutex_);
    answers_.push_back(answer);
}

void TestService::setDefaultAnswer(TestAnswer answer) {
    std::lock_guard lk(mutex_);
    defaultAnswer_ = answer;
}

void TestService::clearAnswers() {
    std::lock_guard lk(mutex_);
    answers_.clear();
}

std::vector<RecordedRequest> TestService::requests() {
    std::lock_guard lk(mutex_);
    return requests_;
}

std::size_t TestService::requestCount() {
    std::lock_guard lk(mutex_);
    return requests_.size();
}

void TestService::clearRequests() {
    std::lock_guard lk(mutex_);
    requests_.clear();
}

std::vector<std::uint8_t> TestService::corruptBody() {
    // A root offset far past the end: a verifying reader rejects it.
    return {0xff, 0xff, 0xff, 0x7f, 'n', 'o', 't', ' ', 'a', 'n', ' ', 'u', 'p', 'd', 'a', 't', 'e'};
}

Value TestService::dataUpdatePayload(const std::vector<std::uint8_t>& dataUpdate) {
    auto gz = ZarnPGzipHelper::gzipDeflate(std::span<const std::uint8_t>(dataUpdate));
    return Value{
        {"zarn_v2", gz ? ZarnPDataHelper::base64EncodedStringSingleLine(std::span<const std::uint8_t>(*gz))
                       : std::string()}};
}

platform::HttpResponse TestService::handle(RecordedRequest request, TestAnswer* answerOut,
                                           double timeoutSeconds) {
    if (!request.json)
        request.json = ZarnPJson::parse(request.body);
    auto slash = request.path.rfind('/');
    request.endpoint = slash == std::string::npos ? request.path : request.path.substr(slash + 1);
    bool known = request.endpoint == "storeEvents" || request.endpoint == "storeEventsAndLoadNotifications";
    TestAnswer answer;
    DataUpdateSource source;
    {
        std::lock_guard lk(mutex_);
        auto meant = std::find_if(answers_.begin(), answers_.end(), [&](const TestAnswer& a) {
            return a.endpoint.empty() || a.endpoint == request.endpoint;
        });
        if (meant != answers_.end()) {
            answer = *meant;
            answers_.erase(meant);
        } else {
            answer = defaultAnswer_;
        }
        request.answered.status = !known && answer.kind == TestAnswer::Kind::Normal ? 404 : answer.status;
        request.answered.delivered =
            answer.kind != TestAnswer::Kind::Drop && answer.delaySeconds < timeoutSeconds;
        requests_.push_back(request);
        source = dataUpdate_;
    }
    if (answerOut)
        *answerOut = answer;
    platform::HttpResponse response;
    response.statusCode = answer.status;
    response.headers.emplace_back("Content-Type", "application/octet-stream");
    if (!known && answer.kind == TestAnswer::Kind::Normal) {
        response.statusCode = 404;
        return response;
    }
    switch (answer.kind) {
        case TestAnswer::Kind::Normal:
            if (request.endpoint == "storeEventsAndLoadNotifications" && source)
                response.body = source(request);
            break;
        case TestAnswer::Kind::Corrupt:
            response.body = corruptBody();
            break;
        case TestAnswer::Kind::Empty:
        case TestAnswer::Kind::Drop:
            break;
    }
    return response;
}

void TestService::releaseSlowAnswers() {
    {
        std::lock_guard lk(mutex_);
        released_ = true;
    }
    cv_.notify_all();
}

bool TestService::waitDelay(double seconds) {
    if (seconds <= 0)
        return true;
    std::unique_lock lk(mutex_);
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    return !cv_.wait_until(lk, until, [this] { return released_; });
}

void TestService::send(platform::HttpRequest request, Completion completion) {
    {
        std::lock_guard lk(worker_->mutex);
        worker_->work.emplace_back(std::move(request), std::move(completion));
    }
    worker_->cv.notify_all();
}

platform::HttpResult TestService::answer(platform::HttpRequest request) {
    RecordedRequest recorded;
    recorded.method = request.method;
    auto scheme = request.url.find("://");
    auto pathStart = request.url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    recorded.path = pathStart == std::string::npos ? "/" : request.url.substr(pathStart);
    recorded.headers = request.headers;
    bool gzip = recorded.header("Content-Encoding") == std::optional<std::string>("gzip");
    if (gzip) {
        auto inflated = ZarnPGzipHelper::gzipInflate(std::span<const std::uint8_t>(request.body));
        if (inflated)
            recorded.body.assign(inflated->begin(), inflated->end());
    } else {
        recorded.body.assign(request.body.begin(), request.body.end());
    }
    TestAnswer answer;
    platform::HttpResponse response = handle(std::move(recorded), &answer, request.timeoutSeconds);
    platform::HttpResult result;
    if (answer.delaySeconds >= request.timeoutSeconds)
        result.error =
            Error{platform::kUrlErrorDomain, platform::kUrlErrorTimedOut, "The request timed out."};
    else if (answer.kind == TestAnswer::Kind::Drop)
        result.error = Error{platform::kUrlErrorDomain, platform::kUrlErrorNetworkConnectionLost,
                             "The network connection was lost."};
    else
        result.response = std::move(response);
    return result;
}

void TestService::runWorker(std::shared_ptr<Worker> worker) {
    for (;;) {
        std::pair<platform::HttpRequest, Completion> item;
        TestService* service = nullptr;
        {
            std::unique_lock lk(worker->mutex);
            worker->cv.wait(lk, [&] { return worker->stopping || !worker->work.empty(); });
            if (worker->work.empty())
                return;
            item = std::move(worker->work.front());
            worker->work.pop_front();
            service = worker->service;
        }
        platform::HttpResult result;
        if (service)
            result = service->answer(std::move(item.first));
        else
            result.error = Error{platform::kUrlErrorDomain, platform::kUrlErrorNetworkConnectionLost,
                                 "The network connection was lost."};
        if (item.second)
            item.second(std::move(result));
        // The completion may hold the service's last reference; it goes here, on this thread.
    }
}

std::shared_ptr<ZarnPHttpRequestCreator> TestService::requestCreator() {
    return std::make_shared<ZarnPHttpRequestCreatorImpl>(shared_from_this());
}

}  // namespace zarn::sim
