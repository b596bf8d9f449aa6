#include "core/ZarnPJson.h"
#include "zarn/Value.h"

#include <exception>
#include <new>

namespace zarn {

namespace {

Error parseError(std::string message) {
    return Error{ZarnPJson::kErrorDomain, ZarnPJson::kErrorCode, std::move(message)};
}

// The deepest nesting of brackets outside strings; stops counting once past `limit`.
std::size_t nestingDepth(std::string_view text, std::size_t limit) {
    std::size_t depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > deepest)
                    deepest = depth;
                if (deepest > limit)
                    return deepest;
                break;
            case ']':
            case '}':
                if (depth > 0)
                    --depth;
                break;
            default:
                break;
        }
    }
    return deepest;
}

}  // namespace

std::optional<Value> ZarnPJson::parse(std::string_view text, Error* error, bool allowFragments) {
    auto fail = [&](std::string message) -> std::optional<Value> {
        if (error)
            *error = parseError(std::move(message));
        return std::nullopt;
    };
    // The reader would take a NUL byte for the end of the text and ignore what follows; JSON
    // allows none anywhere (inside strings it is an unescaped control character).
    if (text.find('\0') != std::string_view::npos)
        return fail("Invalid character (NUL) in JSON text");
    if (nestingDepth(text, kMaxDepth) > kMaxDepth)
        return fail("JSON text nested too deeply");
    try {
        Value value = Value::parse(text.begin(), text.end(), nullptr, true, false);
        if (!allowFragments && !value.is_object() && !value.is_array())
            return fail(
                "JSON text did not start with array or object and option to allow fragments not set.");
        return value;
    } catch (const Value::exception& e) {
        return fail(e.what());
    } catch (const std::bad_alloc&) {
        return fail("Out of memory while parsing JSON text");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}

std::string ZarnPJson::serialise(const Value& value) {
    try {
        return value.dump(-1, ' ', false, Value::error_handler_t::replace);
    } catch (const std::exception&) {
        return std::string();
    }
}

}  // namespace zarn
