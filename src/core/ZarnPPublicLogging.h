#pragma once
#include <memory>
#include <string_view>
#include <vector>

#include "core/Format.h"

namespace zarn {

class ZarnPContext;

// The writing side of the plain-language debug log, as the stores that explain a data-update save
// see it. A line is written only while the log is enabled; it also goes to the context's
// collected log. Each argument is cut as in every log line (FormatArg::forLog). Any thread;
// never throws.
class ZarnPPublicLogging {
  public:
    virtual ~ZarnPPublicLogging() = default;

    virtual void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>& context,
                                                 std::string_view format,
                                                 const std::vector<FormatArg>& arguments) = 0;

    template <typename... Args>
    void logMessageIfEnabled(const std::shared_ptr<ZarnPContext>& context, std::string_view format,
                             const Args&... args) {
        if constexpr (sizeof...(Args) == 0) {
            logMessageIfEnabledAndArguments(context, format, {});
        } else {
            logMessageIfEnabledAndArguments(context, format,
                                            std::vector<FormatArg>{FormatArg::forLog(args)...});
        }
    }
};

}  // namespace zarn
