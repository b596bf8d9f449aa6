#pragma once
#include <string>

#include "core/Uuid.h"

namespace zarn {

// Makes random identifiers: event ids and the device id (create), match ids (createLowerCase).
// The module creates one and passes it to the services; a test replaces it by deriving from
// it. The default implementation is safe from any thread.
class ZarnPUuidGenerator {
  public:
    ZarnPUuidGenerator() = default;
    virtual ~ZarnPUuidGenerator() = default;
    ZarnPUuidGenerator(const ZarnPUuidGenerator&) = delete;
    ZarnPUuidGenerator& operator=(const ZarnPUuidGenerator&) = delete;

    // A new random UUID; create() is its upper-case text.
    virtual Uuid createUuid();
    // A new random UUID as its standard 36-character text in upper case (8-4-4-4-12 digits).
    virtual std::string create();
    // create() without the dashes, in lower case: 32 hexadecimal digits.
    virtual std::string createLowerCase();
};

}  // namespace zarn
