#include "testing/SyncCountingVfs.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

#include "testing/ForwardingVfs.h"

namespace zarn::test {

namespace {

struct CountingFile {
    sqlite3_file base;
    int openFlags;
};
using Forwarding = ForwardingVfs<CountingFile>;

sqlite3_vfs* baseVfs = nullptr;
sqlite3_vfs countingVfs;

const sqlite3_io_methods kMethods = [] {
    sqlite3_io_methods m = Forwarding::methods();
    m.xRead = [](sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
        if (SyncCountingVfs::install().ioError())
            return SQLITE_IOERR_READ;
        SyncCountingVfs::install().countRead(Forwarding::head(f)->openFlags);
        return Forwarding::real(f)->pMethods->xRead(Forwarding::real(f), buf, amount, offset);
    };
    m.xWrite = [](sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
        if (SyncCountingVfs::install().ioError())
            return SQLITE_IOERR_WRITE;
        if (SyncCountingVfs::install().diskFull())
            return SQLITE_FULL;
        SyncCountingVfs::install().countWrite(Forwarding::head(f)->openFlags, buf, amount, offset);
        return Forwarding::real(f)->pMethods->xWrite(Forwarding::real(f), buf, amount, offset);
    };
    m.xSync = [](sqlite3_file* f, int flags) {
        if (SyncCountingVfs::install().syncsFail())
            return SQLITE_IOERR_FSYNC;
        SyncCountingVfs::install().countSync(Forwarding::head(f)->openFlags);
        return Forwarding::real(f)->pMethods->xSync(Forwarding::real(f), flags);
    };
    return m;
}();

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    Forwarding::head(f)->openFlags = flags;
    return Forwarding::open(baseVfs, name, f, flags, outFlags, &kMethods);
}

}  // namespace

SyncCountingVfs::SyncCountingVfs() {
    baseVfs = Forwarding::registerOverDefault(countingVfs, "zarn-sync-counting", xOpen);
}

SyncCountingVfs& SyncCountingVfs::install() {
    static SyncCountingVfs* vfs = new SyncCountingVfs();  // never destroyed: SQLite keeps it
    return *vfs;
}

void SyncCountingVfs::reset() {
    syncs_ = 0;
    walSyncs_ = 0;
    databaseSyncs_ = 0;
    bytesWritten_ = 0;
    logCommits_ = 0;
    databaseReads_ = 0;
}

void SyncCountingVfs::countWrite(int openFlags, const void* buf, int amount, long long offset) {
    bytesWritten_ += static_cast<uint64_t>(amount);
    // A frame's header (24 bytes, after the log's own 32) holds, after the page number, the file's
    // size in pages when the frame ends a transaction, and zero otherwise.
    constexpr int kFrameHeader = 24, kLogHeader = 32;
    if (!(openFlags & SQLITE_OPEN_WAL) || amount != kFrameHeader || offset < kLogHeader)
        return;
    const auto* bytes = static_cast<const unsigned char*>(buf);
    if (bytes[4] | bytes[5] | bytes[6] | bytes[7])
        ++logCommits_;
}

void SyncCountingVfs::countRead(int openFlags) {
    if (openFlags & SQLITE_OPEN_MAIN_DB)
        ++databaseReads_;
}

void SyncCountingVfs::countSync(int openFlags) {
    ++syncs_;
    if (openFlags & SQLITE_OPEN_WAL)
        ++walSyncs_;
    if (openFlags & SQLITE_OPEN_MAIN_DB)
        ++databaseSyncs_;
}

}  // namespace zarn::test
