#include "store/ZarnPSqliteDaoUtils.h"

namespace zarn {

std::string ZarnPSqliteDaoUtils::generateParameterPlaceholders(size_t count) {
    std::string out;
    if (count == 0)
        return out;
    out.reserve(count * 3);
    for (size_t i = 1; i < count; ++i) out += "?, ";
    out += "?";
    return out;
}

std::string ZarnPSqliteDaoUtils::replaceParametersInQuery(std::string_view query, size_t count) {
    static constexpr std::string_view kWord = "PARAMETERS";
    const std::string placeholders = generateParameterPlaceholders(count);
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t found = query.find(kWord, pos);
        if (found == std::string_view::npos)
            break;
        out.append(query.substr(pos, found - pos));
        out += placeholders;
        pos = found + kWord.size();
    }
    out.append(query.substr(pos));
    return out;
}

void ZarnPSqliteDaoUtils::appendQuoted(std::string& out, std::string_view id) {
    out += '\'';
    for (char c : id) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    out += '\'';
}

}  // namespace zarn
