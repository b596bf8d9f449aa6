#pragma once
#include <string>

namespace zarn {

// An error object: a domain, a code and a message (the localised description).
struct Error {
    std::string domain;
    long code = 0;
    std::string message;

    // "Error Domain=%@ Code=%ld \"%@\"", the form in which errors reach the logs.
    std::string description() const;
    bool operator==(const Error&) const = default;
};

}  // namespace zarn
