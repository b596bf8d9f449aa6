#pragma once
// Names a parameterised case by what it holds, so that ctest and --gtest_filter find the same
// case in every build: `caseName("System", "9.3")` is "System9_3". Letters and digits stay, a
// minus sign becomes "Minus", a plus sign goes and any other run of characters becomes one "_".
#include <cstdio>
#include <string>
#include <type_traits>

namespace zarn::test {

inline std::string casePart(const std::string& text) {
    return text;
}
inline std::string casePart(const char* text) {
    return text ? text : "Null";
}
inline std::string casePart(bool value) {
    return value ? "Yes" : "No";
}
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
std::string casePart(Number value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", static_cast<double>(value));
    return text;
}

template <typename... Parts>
std::string caseName(const Parts&... parts) {
    const std::string text = (std::string() + ... + casePart(parts));
    std::string name;
    for (char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            name += c;
        else if (c == '-')
            name += "Minus";
        else if (c != '+' && !name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name.empty() ? "Empty" : name;
}

}  // namespace zarn::test
