#pragma once
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/ZarnPSqlValue.h"
#include "zarn/Error.h"

namespace zarn {

// SQL text helpers for statements over a list of ids. Prefer placeholders with bound values
// (replaceParametersInQuery) to quoted ids: ids come from the service.
class ZarnPSqliteDaoUtils {
  public:
    // Bound parameters per statement, within every SQLite's limit.
    static constexpr size_t kMaxBoundIds = 999;

    // Whether an error out-parameter holds an error: a domain or a non-zero code.
    static bool holdsError(const Error* error) {
        return error && (!error->domain.empty() || error->code != 0);
    }

    // Runs `each` over consecutive slices of at most kMaxBoundIds values, each slice as the
    // values to bind; not at all for no values.
    template <typename T, typename F>
    static void inSlices(const std::vector<T>& values, F each) {
        for (size_t begin = 0; begin < values.size(); begin += kMaxBoundIds) {
            size_t end = std::min(values.size(), begin + kMaxBoundIds);
            each(std::vector<ZarnPSqlValue>(values.begin() + static_cast<std::ptrdiff_t>(begin),
                                            values.begin() + static_cast<std::ptrdiff_t>(end)));
        }
    }

    // "?, ?, ?" for 3; the empty text for 0.
    static std::string generateParameterPlaceholders(size_t count);
    // Every occurrence of the word PARAMETERS replaced by `count` placeholders.
    static std::string replaceParametersInQuery(std::string_view query, size_t count);

    // Each id between single quotes, an embedded quote doubled as in SQL literals, joined by
    // `joinCharacter`; the empty text for no ids.
    template <typename Ids>
    static std::string quoteAndJoinIds(const Ids& ids, std::string_view joinCharacter = ",") {
        std::string out;
        bool first = true;
        for (const auto& id : ids) {
            if (!first)
                out += joinCharacter;
            first = false;
            appendQuoted(out, id);
        }
        return out;
    }

  private:
    static void appendQuoted(std::string& out, std::string_view id);
};

}  // namespace zarn
