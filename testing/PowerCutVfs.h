#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace zarn::test {

// Plays a power cut under SQLite: a file layer over the default one that keeps, for every file
// written under a watched folder, what the disk holds for certain: the file as of its last sync
// (its size then, and the bytes written over since). At any moment it can write the files out as
// a power cut would leave them: every write that no fdatasync of its own file has covered since is
// dropped, as the page cache would be. The shared memory is left out, as SQLite rebuilds it from
// the log; a removed file stays removed. install() makes it SQLite's default layer for the rest of
// the process (over the layer that was the default); files outside the watched folder pass
// through untouched. Safe from any thread.
class PowerCutVfs {
  public:
    // The process-wide layer, registered as the default on the first call.
    static PowerCutVfs& install();

    PowerCutVfs(const PowerCutVfs&) = delete;
    PowerCutVfs& operator=(const PowerCutVfs&) = delete;

    // Watches the files opened under `folder` from now on; a file counts as synced as it is when
    // first opened. Forgets what was watched before.
    void watch(const std::string& folder);
    void stopWatching();
    // Called before each write and each sync of a watched file with the number of such calls
    // made before it and whether it is a sync, on the thread that makes it, with nothing of the
    // layer held: the place to cut. An empty hook removes it.
    void setCutHook(std::function<void(uint64_t call, bool sync)> hook);
    uint64_t writesAndSyncs() const;

    // Writes every watched file that exists into `folder` (made when missing) under its own name:
    // as a power cut now would leave it, or, with `cut` false, as it stands (what a killed process
    // leaves behind).
    void copyInto(const std::string& folder, bool cut) const;

  private:
    PowerCutVfs();
};

}  // namespace zarn::test
