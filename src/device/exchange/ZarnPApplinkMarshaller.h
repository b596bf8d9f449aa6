#pragma once
#include <memory>
#include <string_view>

#include "device/exchange/ZarnPApplink.h"
#include "zarn/ValueFwd.h"

namespace zarn {

// Builds app links from a notification's action text. Stateless; any thread. Logs in domain
// "ApplinkMarshaller".
class ZarnPApplinkMarshaller {
  public:
    // Parses the text as JSON. A parse error is logged ("Failed to parse app link" with the
    // error) and gives nullptr; a result that is not a dictionary logs the ERROR
    // "jsonResponse isn't of right type." and gives nullptr.
    static std::shared_ptr<ZarnPApplink> createApplinkFromJsonString(std::string_view json);
    // Takes "iosAppUrl" and "iosFallbackUrl" (each absent when missing or not a text).
    static std::shared_ptr<ZarnPApplink> createApplinkFromDictionairy(const Value& dictionary);
};

}  // namespace zarn
