#include "core/Format.h"
#include "zarn/Value.h"

#include <locale.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>

#include "core/CLocale.h"

namespace zarn {

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

long long FormatArg::asSigned() const {
    if (kind != Kind::Floating)
        return i;
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(d))
        return 0;
    if (d >= kTwoTo63)
        return std::numeric_limits<long long>::max();
    if (d < -kTwoTo63)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(d);
}

unsigned long long FormatArg::asUnsigned() const {
    return kind == Kind::Floating ? static_cast<unsigned long long>(asSigned()) : u;
}

size_t utf8PrefixLength(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    // Back to the first byte of the character the cut falls in (at most three continuation bytes).
    size_t n = maxBytes;
    for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++back) --n;
    return n;
}

std::string cutText(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return std::string(text);
    std::string out(text.substr(0, utf8PrefixLength(text, maxBytes)));
    out += kCutMark;
    return out;
}

namespace {

// Writes a value as dump() does (compact, replacing invalid UTF-8), but stops soon after `limit`
// bytes: no more than that of a long text is copied or escaped. Walks with its own stack, so a
// deeply nested value costs heap, not the thread's stack.
class BoundedJsonWriter {
  public:
    explicit BoundedJsonWriter(size_t limit) : limit_(limit) {}

    std::string write(const Value& root) {
        visit(root);
        while (!stack_.empty() && !full()) {
            Frame& frame = stack_.back();
            if (frame.next == frame.container->cend()) {
                out_ += frame.container->is_object() ? '}' : ']';
                stack_.pop_back();
                continue;
            }
            if (frame.next != frame.container->cbegin())
                out_ += ',';
            if (frame.container->is_object()) {
                text(frame.next.key());
                out_ += ':';
            }
            const Value& child = *frame.next;
            ++frame.next;  // before visit(), which may grow the stack under `frame`
            visit(child);
        }
        return std::move(out_);
    }

  private:
    struct Frame {
        const Value* container;
        Value::const_iterator next;
    };

    bool full() const { return out_.size() > limit_; }

    void visit(const Value& v) {
        if (full())
            return;
        if (v.is_string()) {
            text(v.get_ref<const std::string&>());
        } else if ((v.is_object() || v.is_array()) && !v.empty()) {
            out_ += v.is_object() ? '{' : '[';
            stack_.push_back(Frame{&v, v.cbegin()});
        } else {
            out_ += v.dump(-1, ' ', false, Value::error_handler_t::replace);
        }
    }

    // A JSON string of the start of `s`: escaping only lengthens, and a character cut at the end of
    // the copied start changes nothing before it, so the part kept is as dump() writes it.
    void text(const std::string& s) {
        size_t room = limit_ - std::min(limit_, out_.size()) + 8;
        const Value copied = s.size() <= room ? Value(s) : Value(s.substr(0, room));
        out_ += copied.dump(-1, ' ', false, Value::error_handler_t::replace);
    }

    size_t limit_;
    std::string out_;
    std::vector<Frame> stack_;
};

}  // namespace

std::string describeValueUpTo(const Value& v, size_t maxBytes) {
    if (v.is_string())
        return cutText(v.get_ref<const std::string&>(), maxBytes);
    return cutText(BoundedJsonWriter(maxBytes + 4).write(v), maxBytes);
}

namespace {

// Hands out the arguments of a format in order; past the last, a placeholder.
class ArgumentReader {
  public:
    explicit ArgumentReader(const std::vector<FormatArg>& args) : args_(args) {}

    const FormatArg& take() { return next_ < args_.size() ? args_[next_++] : missing(); }

    // A '*' width or precision.
    int takeInt() {
        long long v = take().asSigned();
        return static_cast<int>(
            std::clamp<long long>(v, -std::numeric_limits<int>::max(), std::numeric_limits<int>::max()));
    }

  private:
    static const FormatArg& missing() {
        static const FormatArg placeholder = [] {
            FormatArg a;
            a.isNull = true;
            a.text = "(null)";
            return a;
        }();
        return placeholder;
    }

    const std::vector<FormatArg>& args_;
    size_t next_ = 0;
};

// One conversion of a format: what it prints with, as printf reads it.
struct Directive {
    std::string printf = "%";  // flags, width and precision, with '*' filled in
    bool leftAlign = false;
    size_t width = 0;
    std::optional<size_t> precision;
    int shortness = 0;    // 1: h, 2: hh
    char conversion = 0;  // 0: the format ends inside the directive
};

bool isFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\'';
}

bool isOneOf(char c, std::string_view set) {
    return set.find(c) != std::string_view::npos;
}

// Decimal digits at `i` (moved past them); saturates rather than overflows.
size_t readNumber(std::string_view fmt, size_t& i, std::string& written) {
    size_t n = 0;
    while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) {
        n = std::min<size_t>(n * 10 + static_cast<size_t>(fmt[i] - '0'), std::numeric_limits<int>::max());
        written += fmt[i++];
    }
    return n;
}

void readWidth(std::string_view fmt, size_t& i, ArgumentReader& args, Directive& d) {
    if (i < fmt.size() && fmt[i] == '*') {
        ++i;
        int width = args.takeInt();
        d.printf += std::to_string(width);
        d.leftAlign = d.leftAlign || width < 0;
        d.width = static_cast<size_t>(width < 0 ? -width : width);
    } else {
        d.width = readNumber(fmt, i, d.printf);
    }
}

void readPrecision(std::string_view fmt, size_t& i, ArgumentReader& args, Directive& d) {
    if (i >= fmt.size() || fmt[i] != '.')
        return;
    ++i;
    if (i < fmt.size() && fmt[i] == '*') {
        ++i;
        // A negative precision counts as none.
        if (int precision = args.takeInt(); precision >= 0) {
            d.printf += "." + std::to_string(precision);
            d.precision = static_cast<size_t>(precision);
        }
    } else {
        d.printf += '.';
        d.precision = readNumber(fmt, i, d.printf);
    }
}

// The directive after a '%' at `i`, leaving `i` past its conversion.
Directive readDirective(std::string_view fmt, size_t& i, ArgumentReader& args) {
    Directive d;
    while (i < fmt.size() && isFlag(fmt[i])) {
        d.leftAlign = d.leftAlign || fmt[i] == '-';
        d.printf += fmt[i++];
    }
    readWidth(fmt, i, args, d);
    readPrecision(fmt, i, args, d);
    // Length modifiers: every argument is already as wide as it gets; only h and hh narrow it.
    while (i < fmt.size() && isOneOf(fmt[i], "hlqLzjt")) {
        if (fmt[i] == 'h')
            ++d.shortness;
        ++i;
    }
    if (i < fmt.size())
        d.conversion = fmt[i++];
    return d;
}

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

// Text keeps every byte, NULs included; width and precision count bytes, and a precision never
// ends inside a character.
void appendText(std::string& out, const Directive& d, std::string_view text) {
    if (d.precision)
        text = text.substr(0, utf8PrefixLength(text, *d.precision));
    size_t padding = d.width > text.size() ? d.width - text.size() : 0;
    if (!d.leftAlign)
        out.append(padding, ' ');
    out.append(text);
    if (d.leftAlign)
        out.append(padding, ' ');
}

void appendSigned(std::string& out, const Directive& d, long long v) {
    if (d.shortness == 1)
        v = static_cast<short>(v);
    if (d.shortness >= 2)
        v = static_cast<signed char>(v);
    out += cformat(d.printf + "lld", v);
}

void appendUnsigned(std::string& out, const Directive& d, unsigned long long v) {
    if (d.shortness == 1)
        v = static_cast<unsigned short>(v);
    if (d.shortness >= 2)
        v = static_cast<unsigned char>(v);
    out += cformat(d.printf + "ll" + d.conversion, v);
}

// Appends one conversion with its argument; false for a conversion this format does not know.
bool appendConversion(std::string& out, const Directive& d, ArgumentReader& args) {
    char c = d.conversion;
    if (c == '@' || c == 's')
        appendText(out, d, args.take().text);
    else if (isOneOf(c, "di"))
        appendSigned(out, d, args.take().asSigned());
    else if (isOneOf(c, "uxXo"))
        appendUnsigned(out, d, args.take().asUnsigned());
    else if (isOneOf(c, "fFeEgGaA"))
        out += cformat(d.printf + c, args.take().d);
    else if (c == 'c')
        out += cformat(d.printf + "c", static_cast<int>(static_cast<unsigned char>(args.take().asSigned())));
    else if (c == 'p')
        out += cformat(d.printf + "p", args.take().p);
    else
        return false;
    return true;
}

}  // namespace

std::string formatArgs(std::string_view fmt, const std::vector<FormatArg>& args) {
    CLocaleScope cLocaleScope;
    std::string out;
    out.reserve(fmt.size() + 16 * args.size());
    ArgumentReader reader(args);
    size_t i = 0;
    while (i < fmt.size()) {
        size_t percent = fmt.find('%', i);
        out.append(fmt.substr(i, percent == std::string_view::npos ? std::string_view::npos : percent - i));
        if (percent == std::string_view::npos || percent + 1 == fmt.size()) {
            // A '%' that ends the format is printed as it stands.
            if (percent != std::string_view::npos)
                out += '%';
            break;
        }
        i = percent + 1;
        if (fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        Directive d = readDirective(fmt, i, reader);
        // A directive cut off by the end of the format, or an unknown conversion, is shown as
        // written (an unknown one consumes no argument).
        if (!d.conversion) {
            out.append(fmt.substr(percent));
            break;
        }
        if (!appendConversion(out, d, reader))
            out.append(fmt.substr(percent, i - percent));
    }
    return out;
}

}  // namespace zarn
