#include "testing/SyncCountingVfs.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

namespace zarn::test {

namespace {

// The base layer's file lives right after this header in the same allocation.
struct CountingFile {
    sqlite3_file base;
    int openFlags;
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

CountingFile* counting(sqlite3_file* f) {
    return reinterpret_cast<CountingFile*>(f);
}
sqlite3_file* real(sqlite3_file* f) {
    return counting(f)->real();
}

sqlite3_vfs* baseVfs = nullptr;
sqlite3_vfs countingVfs;

int xClose(sqlite3_file* f) {
    return real(f)->pMethods->xClose(real(f));
}
int xRead(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
    SyncCountingVfs::install().countRead(counting(f)->openFlags);
    return real(f)->pMethods->xRead(real(f), buf, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
    if (SyncCountingVfs::install().diskFull())
        return SQLITE_FULL;
    SyncCountingVfs::install().countWrite(counting(f)->openFlags, buf, amount, offset);
    return real(f)->pMethods->xWrite(real(f), buf, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return real(f)->pMethods->xTruncate(real(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    SyncCountingVfs::install().countSync(counting(f)->openFlags);
    return real(f)->pMethods->xSync(real(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return real(f)->pMethods->xFileSize(real(f), size);
}
int xLock(sqlite3_file* f, int level) {
    return real(f)->pMethods->xLock(real(f), level);
}
int xUnlock(sqlite3_file* f, int level) {
    return real(f)->pMethods->xUnlock(real(f), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return real(f)->pMethods->xFetch(real(f), offset, amount, out);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p) {
    return real(f)->pMethods->xUnfetch(real(f), offset, p);
}

const sqlite3_io_methods kMethods = {3,
                                     xClose,
                                     xRead,
                                     xWrite,
                                     xTruncate,
                                     xSync,
                                     xFileSize,
                                     xLock,
                                     xUnlock,
                                     xCheckReservedLock,
                                     xFileControl,
                                     xSectorSize,
                                     xDeviceCharacteristics,
                                     xShmMap,
                                     xShmLock,
                                     xShmBarrier,
                                     xShmUnmap,
                                     xFetch,
                                     xUnfetch};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    CountingFile* file = counting(f);
    file->openFlags = flags;
    int rc = baseVfs->xOpen(baseVfs, name, file->real(), flags, outFlags);
    // SQLite calls xClose only on a file whose methods are set.
    file->base.pMethods = file->real()->pMethods ? &kMethods : nullptr;
    return rc;
}

}  // namespace

SyncCountingVfs::SyncCountingVfs() {
    baseVfs = sqlite3_vfs_find(nullptr);
    countingVfs = *baseVfs;
    countingVfs.zName = "zarn-sync-counting";
    countingVfs.szOsFile = static_cast<int>(sizeof(CountingFile)) + baseVfs->szOsFile;
    countingVfs.pNext = nullptr;
    countingVfs.xOpen = xOpen;
    sqlite3_vfs_register(&countingVfs, 1);
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
