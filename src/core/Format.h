#pragma once
// printf-style formatting with "%@" (an argument's description), always in the C locale.
// Data is only ever an argument, never a format: a conversion without a matching argument
// prints nothing dangerous ("(null)" for %@ and %s, 0 for numbers).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "zarn/Date.h"
#include "zarn/Error.h"
#include "zarn/ValueFwd.h"

namespace zarn {

namespace detail {

template <typename T>
concept HasDescription = requires(const T& t) {
    { t.description() } -> std::convertible_to<std::string>;
};

}  // namespace detail

std::string describe(std::string_view s);
inline std::string describe(const std::string& s) {
    return s;
}
std::string describe(const char* s);
std::string describe(bool b);
std::string describe(double d);
std::string describe(const Value& v);
std::string describe(Date d);
std::string describe(const Error& e);
std::string describe(const std::exception& e);
std::string describe(std::nullptr_t);

template <typename T>
requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) std::string describe(T v) {
    return std::to_string(v);
}
template <typename T>
requires std::is_enum_v<T> std::string describe(T v) {
    return std::to_string(static_cast<std::underlying_type_t<T>>(v));
}
inline std::string describe(float f) {
    return describe(static_cast<double>(f));
}

template <detail::HasDescription T>
std::string describe(const T& t) {
    return t.description();
}
template <typename T>
std::string describe(const std::shared_ptr<T>& p) {
    return p ? describe(*p) : std::string("(null)");
}
template <typename T>
std::string describe(const T* p) requires(!std::is_same_v<T, char>) {
    return p ? describe(*p) : std::string("(null)");
}
template <typename T>
std::string describe(const std::optional<T>& o) {
    return o ? describe(*o) : std::string("(null)");
}
template <typename T>
std::string describe(const std::vector<T>& v) {
    std::string out = "(";
    for (size_t i = 0; i < v.size(); ++i) {
        if (i)
            out += ", ";
        out += describe(v[i]);
    }
    return out + ")";
}

// Longest description of one value in a log line, in bytes: far above any real campaign text,
// tile, segmentation value or event's extras, far below what would flood the log file.
inline constexpr size_t kLogValueMaxBytes = 4096;
// Ends a description that was cut short.
inline constexpr std::string_view kCutMark = "...[cut]";

// The length of the longest start of `text` of at most `maxBytes` bytes that does not end inside a
// UTF-8 character.
size_t utf8PrefixLength(std::string_view text, size_t maxBytes);
// `text` when it fits in `maxBytes`; else its start cut on a character boundary, then kCutMark.
std::string cutText(std::string_view text, size_t maxBytes);
// cutText of describe(v), without building more of a large value's text than the cut keeps.
std::string describeValueUpTo(const Value& v, size_t maxBytes);

namespace detail {
template <typename T>
struct IsVector : std::false_type {};
template <typename T, typename A>
struct IsVector<std::vector<T, A>> : std::true_type {};
template <typename T>
struct IsNullable : std::false_type {};
template <typename T>
struct IsNullable<std::optional<T>> : std::true_type {};
template <typename T>
struct IsNullable<std::shared_ptr<T>> : std::true_type {};
}  // namespace detail

// cutText(describe(v), maxBytes). Texts, values and lists stop building at the cut, so a
// description of many megabytes costs no more than the part that is kept.
template <typename T>
std::string describeUpTo(const T& v, size_t maxBytes) {
    using D = std::remove_cvref_t<T>;
    if constexpr (std::is_array_v<D> || std::is_same_v<D, std::string> ||
                  std::is_same_v<D, std::string_view>) {
        return cutText(std::string_view(v), maxBytes);
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        return v ? cutText(v, maxBytes) : describe(nullptr);
    } else if constexpr (std::is_same_v<D, Value>) {
        return describeValueUpTo(v, maxBytes);
    } else if constexpr (detail::IsNullable<D>::value) {
        return v ? describeUpTo(*v, maxBytes) : describe(nullptr);
    } else if constexpr (detail::IsVector<D>::value) {
        // Each element is built a little past the cut, so the cut falls on whole characters.
        std::string out = "(";
        for (size_t i = 0; i < v.size(); ++i) {
            if (out.size() > maxBytes)
                return cutText(out, maxBytes);
            if (i)
                out += ", ";
            out += describeUpTo(v[i], maxBytes + 4);
        }
        return cutText(out + ")", maxBytes);
    } else {
        return cutText(describe(v), maxBytes);
    }
}

// One argument of a format, reduced to what a conversion can print.
struct FormatArg {
    enum class Kind { Signed, Unsigned, Floating, Text, Pointer };
    Kind kind = Kind::Text;
    long long i = 0;           // Signed and Unsigned
    unsigned long long u = 0;  // Signed and Unsigned
    double d = 0;
    const void* p = nullptr;
    std::string text;  // the description, used by %@ and %s
    bool isNull = false;

    // What an integer conversion prints. A floating-point value is truncated toward zero and
    // saturated (NaN gives 0): converting it up front would be undefined past the range.
    long long asSigned() const;
    unsigned long long asUnsigned() const;

    template <typename T>
    static FormatArg from(const T& v) {
        return make(v, std::nullopt);
    }
    // For a log line: the description is cut at kLogValueMaxBytes (describeUpTo).
    template <typename T>
    static FormatArg forLog(const T& v) {
        return make(v, kLogValueMaxBytes);
    }

  private:
    template <typename T>
    static FormatArg make(const T& v, std::optional<size_t> maxBytes) {
        FormatArg a;
        using D = std::decay_t<T>;
        auto description = [&](const auto& x) { return maxBytes ? describeUpTo(x, *maxBytes) : describe(x); };
        if constexpr (std::is_array_v<T>) {
            a.text = description(v);
        } else if constexpr (std::is_same_v<D, bool>) {
            a.kind = Kind::Signed;
            a.i = v ? 1 : 0;
            a.u = a.i;
            a.d = a.i;
            a.text = v ? "1" : "0";
        } else if constexpr (std::is_enum_v<D>) {
            a = make(static_cast<std::underlying_type_t<D>>(v), maxBytes);
        } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
            a.kind = Kind::Signed;
            a.i = v;
            a.u = static_cast<unsigned long long>(v);
            a.d = static_cast<double>(v);
            a.text = std::to_string(v);
        } else if constexpr (std::is_integral_v<D>) {
            a.kind = Kind::Unsigned;
            a.u = v;
            a.i = static_cast<long long>(v);
            a.d = static_cast<double>(v);
            a.text = std::to_string(v);
        } else if constexpr (std::is_floating_point_v<D>) {
            a.kind = Kind::Floating;
            a.d = v;
            a.text = describe(static_cast<double>(v));
        } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
            a.isNull = v == nullptr;
            a.text = description(static_cast<const char*>(v));
        } else if constexpr (std::is_pointer_v<D>) {
            a.kind = Kind::Pointer;
            a.p = v;
            a.isNull = v == nullptr;
            a.text = description(v);
        } else {
            a.text = description(v);
        }
        return a;
    }
};

std::string formatArgs(std::string_view fmt, const std::vector<FormatArg>& args);

template <typename... Args>
std::string format(std::string_view fmt, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return formatArgs(fmt, {});
    } else {
        return formatArgs(fmt, std::vector<FormatArg>{FormatArg::from(args)...});
    }
}

// Runs f with the calling thread's locale set to "C" (number formatting and parsing).
class CLocaleScope {
  public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    void* previous_;
};

}  // namespace zarn
