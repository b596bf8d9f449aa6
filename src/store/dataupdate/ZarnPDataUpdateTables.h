#pragma once
// Forward declarations of the data update's tables, for the stores that write them; their
// sources include "schema/dataupdate_generated.h".
namespace com::zarnkit::velto::dataupdate::fb {
struct CampaignDTO;
struct CircleDTO;
struct CustomRegionFieldDTO;
struct GeohashDTO;
struct NotificationDTO;
struct SegmentationPropertyDTO;
struct TimeSpanDTO;
struct TriggerPropertyDTO;
}  // namespace com::zarnkit::velto::dataupdate::fb

namespace zarn {
namespace dataupdate = com::zarnkit::velto::dataupdate::fb;
}  // namespace zarn
