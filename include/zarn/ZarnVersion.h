#pragma once
// The library's version text, the one place it is written: ZarnBase::version() returns it, the
// module logs it at start, and the build reads its number for the package version.

namespace zarn {

inline constexpr char kZarnVersion[] = "3.0.0-beta-DEBUG";

}  // namespace zarn
