#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace zarn {

// SQL text helpers for statements over a list of ids. Prefer placeholders with bound values
// (replaceParametersInQuery) to quoted ids: ids come from the service.
class ZarnPSqliteDaoUtils {
  public:
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
