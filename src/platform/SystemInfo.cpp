#include "zarn/platform/SystemInfo.h"

#include <execinfo.h>
#include <cstdlib>

namespace zarn::platform {

std::vector<std::string> BacktraceCallStack::symbols() {
    void* frames[64];
    int n = ::backtrace(frames, 64);
    std::vector<std::string> out;
    char** names = ::backtrace_symbols(frames, n);
    if (!names)
        return out;
    for (int i = 0; i < n; ++i) out.emplace_back(names[i]);
    std::free(names);
    return out;
}

}  // namespace zarn::platform
