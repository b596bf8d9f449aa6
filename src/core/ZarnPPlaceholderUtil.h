#pragma once
#include <map>
#include <optional>
#include <string>

namespace zarn {

// Fills the {name} placeholders of a campaign's message or action text when a notification is
// built: the region's id and label, then the match payload, then the region's custom fields. A
// placeholder without a value stays as it is. Any thread.
class ZarnPPlaceholderUtil {
  public:
    using StringDictionary = std::map<std::string, std::string>;

    // Nothing for nothing. A name is one or more letters, digits, '-' or '_' between braces;
    // each placeholder of `text` is filled once, left to right, and a filled value is never
    // scanned again. "geofenceid"/"beaconid" take the region id (kept when there is none),
    // "geofencelabel"/"beaconlabel" the label ("" when there is none), exactly in lower case;
    // any other name the payload's value, else the custom field's. Null dictionaries are empty.
    static std::optional<std::string> replacePlaceholders(const std::optional<std::string>& text,
                                                          const std::optional<std::string>& regionId,
                                                          const std::optional<std::string>& regionLabel,
                                                          const StringDictionary* customRegionFields,
                                                          const StringDictionary* matchPayload);
};

}  // namespace zarn
