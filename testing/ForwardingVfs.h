#pragma once
// What the file layers in testing share: a file that is a header of the layer's own followed, in
// the same allocation, by the base layer's file, with methods that forward every call to it; and
// the layer registered over the default one. A layer replaces the methods it watches.
#include <sqlite3.h>

namespace zarn::test {

// `Head` begins with a sqlite3_file.
template <typename Head>
struct ForwardingVfs {
    static Head* head(sqlite3_file* f) { return reinterpret_cast<Head*>(f); }
    static sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<sqlite3_file*>(head(f) + 1); }

    // Every method forwarded to the base layer's file.
    static sqlite3_io_methods methods() {
        sqlite3_io_methods m{};
        m.iVersion = 3;
        m.xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); };
        m.xRead = [](sqlite3_file* f, void* buf, int n, sqlite3_int64 at) {
            return real(f)->pMethods->xRead(real(f), buf, n, at);
        };
        m.xWrite = [](sqlite3_file* f, const void* buf, int n, sqlite3_int64 at) {
            return real(f)->pMethods->xWrite(real(f), buf, n, at);
        };
        m.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
            return real(f)->pMethods->xTruncate(real(f), size);
        };
        m.xSync = [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); };
        m.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
            return real(f)->pMethods->xFileSize(real(f), size);
        };
        m.xLock = [](sqlite3_file* f, int level) { return real(f)->pMethods->xLock(real(f), level); };
        m.xUnlock = [](sqlite3_file* f, int level) { return real(f)->pMethods->xUnlock(real(f), level); };
        m.xCheckReservedLock = [](sqlite3_file* f, int* out) {
            return real(f)->pMethods->xCheckReservedLock(real(f), out);
        };
        m.xFileControl = [](sqlite3_file* f, int op, void* arg) {
            return real(f)->pMethods->xFileControl(real(f), op, arg);
        };
        m.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
        m.xDeviceCharacteristics = [](sqlite3_file* f) {
            return real(f)->pMethods->xDeviceCharacteristics(real(f));
        };
        m.xShmMap = [](sqlite3_file* f, int region, int size, int extend, void volatile** out) {
            return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
        };
        m.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
            return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
        };
        m.xShmBarrier = [](sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); };
        m.xShmUnmap = [](sqlite3_file* f, int deleteFlag) {
            return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
        };
        m.xFetch = [](sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
            return real(f)->pMethods->xFetch(real(f), offset, amount, out);
        };
        m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 offset, void* p) {
            return real(f)->pMethods->xUnfetch(real(f), offset, p);
        };
        return m;
    }

    // Opens the base layer's file behind `f`; `f` takes `methods` when the base file has methods
    // of its own (SQLite calls xClose only on a file whose methods are set).
    static int open(sqlite3_vfs* base, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags,
                    const sqlite3_io_methods* methods) {
        int rc = base->xOpen(base, name, real(f), flags, outFlags);
        f->pMethods = real(f)->pMethods ? methods : nullptr;
        return rc;
    }

    // `vfs` made a copy of the default layer named `name`, with files of `Head` and the base's,
    // `xOpen` its own, and registered as the new default; the base layer.
    static sqlite3_vfs* registerOverDefault(sqlite3_vfs& vfs, const char* name,
                                            int (*xOpen)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int,
                                                         int*)) {
        sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        vfs = *base;
        vfs.zName = name;
        vfs.szOsFile = static_cast<int>(sizeof(Head)) + base->szOsFile;
        vfs.pNext = nullptr;
        vfs.xOpen = xOpen;
        sqlite3_vfs_register(&vfs, 1);
        return base;
    }
};

}  // namespace zarn::test
