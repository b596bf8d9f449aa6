#pragma once

namespace zarn {

// How durable a commit is when it returns. Full: synced to the disk first, for what someone
// outside the library is told of (the app, the user, the service). Normal: written to the
// write-ahead log without a sync, for the rest: a killed process keeps it, a power loss may take
// it back, whole and with every later commit, until the next synced commit or the sync its owner
// bounds in time (ZarnPSyncDeadline). The connection's own level, for every commit that names no
// tier, is Full.
enum class ZarnPDurability { Full, Normal };

}  // namespace zarn
