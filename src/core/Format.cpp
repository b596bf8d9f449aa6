#include "core/Format.h"
#include "zarn/Value.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/CLocale.h"

namespace zarn {

namespace {

template <typename... A>
std::string cformat(const std::string& directive, A... a) {
    char small[128];
    int n = std::snprintf(small, sizeof small, directive.c_str(), a...);
    if (n < 0)
        return {};
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), directive.c_str(), a...);
    out.resize(static_cast<size_t>(n));
    return out;
}

bool isFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\'';
}

}  // namespace

CLocaleScope::CLocaleScope() : previous_(uselocale(cLocale())) {}
CLocaleScope::~CLocaleScope() {
    uselocale(static_cast<locale_t>(previous_));
}

std::string describe(std::string_view s) {
    return std::string(s);
}
std::string describe(const char* s) {
    return s ? std::string(s) : std::string("(null)");
}
std::string describe(bool b) {
    return b ? "1" : "0";
}
std::string describe(std::nullptr_t) {
    return "(null)";
}

std::string describe(double d) {
    if (std::isnan(d))
        return "nan";
    if (std::isinf(d))
        return d > 0 ? "inf" : "-inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string describe(const Value& v) {
    if (v.is_string())
        return v.get<std::string>();
    return v.dump(-1, ' ', false, Value::error_handler_t::replace);
}

std::string describeDate(Date date) {
    double secs = std::floor(timeIntervalSince1970(date));
    // Far past the calendar's years (a damaged row, a garbled number): no time_t holds it.
    if (!std::isfinite(secs) || std::fabs(secs) > 1e15)
        return "(invalid date)";
    std::time_t t = static_cast<std::time_t>(secs);
    std::tm tm{};
    if (!gmtime_r(&t, &tm))
        return "(invalid date)";
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &tm);
    return buf;
}

std::string describe(Date d) {
    return describeDate(d);
}
std::string describe(const Error& e) {
    return e.description();
}
std::string describe(const std::exception& e) {
    return e.what();
}

std::string Error::description() const {
    return format("Error Domain=%@ Code=%ld \"%@\"", domain, code, message);
}

std::string formatArgs(std::string_view fmt, const std::vector<FormatArg>& args) {
    CLocaleScope cLocaleScope;
    std::string out;
    out.reserve(fmt.size() + 16 * args.size());
    size_t next = 0;
    static const FormatArg missing = [] {
        FormatArg a;
        a.isNull = true;
        a.text = "(null)";
        return a;
    }();
    auto take = [&]() -> const FormatArg& { return next < args.size() ? args[next++] : missing; };

    size_t i = 0;
    while (i < fmt.size()) {
        char c = fmt[i];
        if (c != '%') {
            size_t j = fmt.find('%', i);
            if (j == std::string_view::npos)
                j = fmt.size();
            out.append(fmt.substr(i, j - i));
            i = j;
            continue;
        }
        size_t start = i++;
        if (i >= fmt.size()) {
            out += '%';
            break;
        }
        if (fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::string directive = "%";
        while (i < fmt.size() && isFlag(fmt[i])) directive += fmt[i++];
        if (i < fmt.size() && fmt[i] == '*') {
            directive += std::to_string(static_cast<int>(take().i));
            ++i;
        } else {
            while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) directive += fmt[i++];
        }
        if (i < fmt.size() && fmt[i] == '.') {
            directive += fmt[i++];
            if (i < fmt.size() && fmt[i] == '*') {
                directive += std::to_string(static_cast<int>(take().i));
                ++i;
            } else {
                while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i])))
                    directive += fmt[i++];
            }
        }
        int shortness = 0;  // 1: h, 2: hh
        while (i < fmt.size() && std::string_view("hlqLzjt").find(fmt[i]) != std::string_view::npos) {
            if (fmt[i] == 'h')
                ++shortness;
            ++i;
        }
        if (i >= fmt.size()) {
            out.append(fmt.substr(start));
            break;
        }
        char conv = fmt[i++];
        switch (conv) {
            case '@':
            case 's': {
                const FormatArg& a = take();
                out += cformat(directive + "s", a.text.c_str());
                break;
            }
            case 'd':
            case 'i': {
                const FormatArg& a = take();
                long long v = a.i;
                if (shortness == 1)
                    v = static_cast<short>(v);
                if (shortness >= 2)
                    v = static_cast<signed char>(v);
                out += cformat(directive + "lld", v);
                break;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'o': {
                const FormatArg& a = take();
                unsigned long long v =
                    a.kind == FormatArg::Kind::Floating ? static_cast<unsigned long long>(a.i) : a.u;
                if (shortness == 1)
                    v = static_cast<unsigned short>(v);
                if (shortness >= 2)
                    v = static_cast<unsigned char>(v);
                out += cformat(directive + "ll" + conv, v);
                break;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A': {
                const FormatArg& a = take();
                out += cformat(directive + conv, a.d);
                break;
            }
            case 'c': {
                const FormatArg& a = take();
                out += cformat(directive + "c", static_cast<int>(static_cast<unsigned char>(a.i)));
                break;
            }
            case 'p': {
                const FormatArg& a = take();
                out += cformat(directive + "p", a.p);
                break;
            }
            default:
                // Unknown conversion: shown as written, consuming nothing.
                out.append(fmt.substr(start, i - start));
                break;
        }
    }
    return out;
}

}  // namespace zarn
