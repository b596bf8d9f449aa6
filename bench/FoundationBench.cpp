// The cost of a hop onto the SDK thread (waiting and not waiting) and of one log line with and
// without listeners.
#include <benchmark/benchmark.h>

#include <atomic>

#include "core/ZarnPLogListener.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

// Drops every line: the figure is the library's own cost, not the terminal's.
class NullConsole final : public platform::Console {
  public:
    void write(const std::string&) override {}
};

class CountingListener final : public ZarnPLogListener {
  public:
    void didLogMessage(const std::string& message, int, const std::string&) override {
        bytes.fetch_add(message.size(), std::memory_order_relaxed);
    }
    std::atomic<size_t> bytes{0};
};

struct Seam {
    Seam() {
        platform::Services s;
        s.console = std::make_shared<NullConsole>();
        platform::install(s);
    }
    ~Seam() { platform::uninstall(); }
};

void BM_HopWaiting(benchmark::State& state) {
    Seam seam;
    auto timerDao = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                          platform::current().application);
    int runs = 0;
    for (auto _ : state) timerDao->invokeBlockOnRunLoop([&runs] { ++runs; }, true);
    if (runs != static_cast<int>(state.iterations()))
        state.SkipWithError("a waiting hop did not run");
}
BENCHMARK(BM_HopWaiting)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Posting only; the queue is drained by one waiting hop outside the timed region of each batch.
void BM_HopNotWaiting(benchmark::State& state) {
    Seam seam;
    auto timerDao = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                          platform::current().application);
    std::atomic<int> runs{0};
    int posted = 0;
    for (auto _ : state) {
        timerDao->invokeBlockOnRunLoop([&runs] { runs.fetch_add(1, std::memory_order_relaxed); }, false);
        if (++posted % 4096 == 0) {
            state.PauseTiming();
            timerDao->invokeBlockOnRunLoop([] {}, true);
            state.ResumeTiming();
        }
    }
    timerDao->invokeBlockOnRunLoop([] {}, true);
    if (runs.load() != posted)
        state.SkipWithError("a queued hop did not run");
}
BENCHMARK(BM_HopNotWaiting)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_LogLine(benchmark::State& state) {
    Seam seam;
    auto& logger = ZarnPLogger::instance();
    logger.setLevel(ZarnPLogLevelDebug);
    std::vector<std::shared_ptr<CountingListener>> listeners;
    for (int64_t i = 0; i < state.range(0); ++i) {
        listeners.push_back(std::make_shared<CountingListener>());
        logger.addListener(listeners.back());
    }
    int i = 0;
    for (auto _ : state) LogDebug("Bench", "Line %d of %@ at %f", ++i, "the benchmark", 1.5);
    for (auto& l : listeners) {
        if (l->bytes.load() == 0)
            state.SkipWithError("a listener got nothing");
        logger.removeListener(l);
    }
}
BENCHMARK(BM_LogLine)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

// Below the level: the line is dropped before formatting.
void BM_LogLineFiltered(benchmark::State& state) {
    Seam seam;
    auto& logger = ZarnPLogger::instance();
    logger.setLevel(ZarnPLogLevelError);
    for (auto _ : state) LogDebug("Bench", "Line %d of %@", 1, "the benchmark");
}
BENCHMARK(BM_LogLineFiltered)->Unit(benchmark::kMicrosecond);

}  // namespace
