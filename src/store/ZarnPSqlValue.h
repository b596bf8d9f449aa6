#pragma once
// A value bound to a statement parameter. Each constructor applies one binding rule of the
// access layer: null and absent values bind NULL, booleans 0 or 1, every integer a 64-bit
// integer (unsigned 64-bit values keep their bits), floating values and dates a double (a date
// as its seconds since 1970), text its UTF-8 bytes and a blob its bytes, an empty blob being a
// zero-length blob and never NULL.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "zarn/Date.h"
#include "zarn/ValueFwd.h"

namespace zarn {

// Raw bytes for a BLOB column (a std::string is bound as text).
struct ZarnPSqlBlob {
    std::string bytes;
    bool operator==(const ZarnPSqlBlob&) const = default;
};

class ZarnPSqlValue {
  public:
    enum class Type { Null, Integer, Double, Text, Blob };

    ZarnPSqlValue() = default;
    ZarnPSqlValue(std::nullptr_t) {}
    ZarnPSqlValue(std::nullopt_t) {}
    ZarnPSqlValue(bool b) : value_(static_cast<int64_t>(b ? 1 : 0)) {}
    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>) ZarnPSqlValue(T v)
        : value_(static_cast<int64_t>(v)) {}
    template <typename T>
    requires std::is_enum_v<T> ZarnPSqlValue(T v) : value_(static_cast<int64_t>(v)) {}
    ZarnPSqlValue(float d) : value_(static_cast<double>(d)) {}
    ZarnPSqlValue(double d) : value_(d) {}
    ZarnPSqlValue(Date date) : value_(timeIntervalSince1970(date)) {}
    // A null pointer binds NULL.
    ZarnPSqlValue(const char* s) {
        if (s)
            value_ = std::string(s);
    }
    ZarnPSqlValue(std::string s) : value_(std::move(s)) {}
    ZarnPSqlValue(std::string_view s) : value_(std::string(s)) {}
    ZarnPSqlValue(ZarnPSqlBlob blob) : value_(std::move(blob)) {}
    template <typename T>
    ZarnPSqlValue(const std::optional<T>& o) {
        if (o)
            *this = ZarnPSqlValue(*o);
    }
    // A property-list value: null, booleans, numbers and strings by their type; arrays and
    // dictionaries as their JSON text (their description).
    explicit ZarnPSqlValue(const Value& v);

    Type type() const { return static_cast<Type>(value_.index()); }
    bool isNull() const { return type() == Type::Null; }
    int64_t integer() const { return std::get<int64_t>(value_); }
    double real() const { return std::get<double>(value_); }
    const std::string& text() const { return std::get<std::string>(value_); }
    const std::string& blob() const { return std::get<ZarnPSqlBlob>(value_).bytes; }

    bool operator==(const ZarnPSqlValue&) const = default;

  private:
    std::variant<std::monostate, int64_t, double, std::string, ZarnPSqlBlob> value_;
};

// Parameters bound by name: the name without its ':' and the value, one entry per name, bound in
// this order.
using ZarnPSqlParameters = std::vector<std::pair<std::string, ZarnPSqlValue>>;

}  // namespace zarn
