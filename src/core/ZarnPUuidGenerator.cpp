#include "core/ZarnPUuidGenerator.h"

namespace zarn {

Uuid ZarnPUuidGenerator::createUuid() {
    return Uuid::random();
}

std::string ZarnPUuidGenerator::create() {
    return createUuid().uuidString();
}

std::string ZarnPUuidGenerator::createLowerCase() {
    std::string text = create();
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '-')
            continue;
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return out;
}

}  // namespace zarn
