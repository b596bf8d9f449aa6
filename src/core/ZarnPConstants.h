#pragma once

namespace zarn {

// 32 "0" characters: the region id of a notification without one, and the app-wide cooldown
// group.
inline constexpr char EMPTY_UUID[] = "00000000000000000000000000000000";

}  // namespace zarn
