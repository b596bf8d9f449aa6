#include "core/ZarnPPlaceholderUtil.h"

#include <string_view>

namespace zarn {

namespace {

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::optional<std::string_view> lookUp(const ZarnPPlaceholderUtil::StringDictionary* dictionary,
                                       const std::string& name) {
    if (!dictionary)
        return std::nullopt;
    auto it = dictionary->find(name);
    if (it == dictionary->end())
        return std::nullopt;
    return std::string_view(it->second);
}

}  // namespace

std::optional<std::string> ZarnPPlaceholderUtil::replacePlaceholders(
    const std::optional<std::string>& text, const std::optional<std::string>& regionId,
    const std::optional<std::string>& regionLabel, const StringDictionary* customRegionFields,
    const StringDictionary* matchPayload) {
    if (!text)
        return std::nullopt;
    const std::string& in = *text;
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        if (in[i] != '{') {
            out.push_back(in[i++]);
            continue;
        }
        size_t end = i + 1;
        while (end < in.size() && isNameCharacter(in[end])) ++end;
        if (end == i + 1 || end >= in.size() || in[end] != '}') {
            out.push_back(in[i++]);  // not a placeholder: a later brace may still start one
            continue;
        }
        std::string name = in.substr(i + 1, end - i - 1);
        std::optional<std::string_view> value;
        if (name == "geofenceid" || name == "beaconid") {
            if (regionId)
                value = *regionId;
        } else if (name == "geofencelabel" || name == "beaconlabel") {
            value = regionLabel ? std::string_view(*regionLabel) : std::string_view();
        } else if (!(value = lookUp(matchPayload, name))) {
            value = lookUp(customRegionFields, name);
        }
        if (value)
            out += *value;
        else
            out.append(in, i, end - i + 1);
        i = end + 1;
    }
    return out;
}

}  // namespace zarn
