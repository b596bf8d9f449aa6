#include "zarn/platform/Console.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace zarn::platform {

void StdErrConsole::write(const std::string& line) {
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::lock_guard lk(mutex_);
    std::fprintf(stderr, "%s.%03lld %s\n", stamp, static_cast<long long>(ms), line.c_str());
}

}  // namespace zarn::platform
