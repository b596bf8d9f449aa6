#pragma once
#include <atomic>
#include <cstdint>

struct sqlite3_vfs;

namespace zarn::test {

// Counts the fdatasync calls that SQLite makes, and its reads of main database files: a
// file-system layer over SQLite's default one that forwards every call and counts each file's xSync (a log or
// database sync, a directory sync that SQLite folds into it counts as part of it). install() makes it
// SQLite's default layer for the rest of the process, so every connection opened afterwards without a named
// layer goes through it. It can also play a full disk (every write refused as one would be) and a failing
// device (every read and write an I/O error). Safe from any thread.
class SyncCountingVfs {
  public:
    // The process-wide layer, registered as the default on the first call.
    static SyncCountingVfs& install();

    SyncCountingVfs(const SyncCountingVfs&) = delete;
    SyncCountingVfs& operator=(const SyncCountingVfs&) = delete;

    uint64_t syncs() const { return syncs_.load(); }
    // Of them, the syncs of write-ahead logs and of main database files.
    uint64_t walSyncs() const { return walSyncs_.load(); }
    uint64_t databaseSyncs() const { return databaseSyncs_.load(); }
    // Bytes handed to the files' writes (database, log and journals; not the shared memory).
    uint64_t bytesWritten() const { return bytesWritten_.load(); }
    // Commits written to write-ahead logs, synced or not: the frames that end a transaction.
    uint64_t logCommits() const { return logCommits_.load(); }
    // Reads of main database files (a page each, the header at the opening aside).
    uint64_t databaseReads() const { return databaseReads_.load(); }
    void reset();
    // While set, every write answers SQLITE_FULL; reads and syncs go on.
    void setDiskFull(bool full) { diskFull_ = full; }
    bool diskFull() const { return diskFull_.load(); }
    // While set, every read and write of a file answers SQLITE_IOERR_READ or SQLITE_IOERR_WRITE.
    void setIoError(bool failing) { ioError_ = failing; }
    bool ioError() const { return ioError_.load(); }
    // While set, every sync answers SQLITE_IOERR_FSYNC.
    void setSyncsFail(bool failing) { syncsFail_ = failing; }
    bool syncsFail() const { return syncsFail_.load(); }

    // Called by the layer's files.
    void countSync(int openFlags);
    void countWrite(int openFlags, const void* buf, int amount, long long offset);
    void countRead(int openFlags);

  private:
    SyncCountingVfs();

    std::atomic<uint64_t> syncs_{0};
    std::atomic<uint64_t> walSyncs_{0};
    std::atomic<uint64_t> databaseSyncs_{0};
    std::atomic<uint64_t> bytesWritten_{0};
    std::atomic<uint64_t> logCommits_{0};
    std::atomic<uint64_t> databaseReads_{0};
    std::atomic<bool> diskFull_{false};
    std::atomic<bool> ioError_{false};
    std::atomic<bool> syncsFail_{false};
};

}  // namespace zarn::test
