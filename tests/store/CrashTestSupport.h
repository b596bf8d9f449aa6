#pragma once
// Helpers of the crash tests: a child process does some database work and dies by SIGKILL at a
// chosen point of it (a SQLite progress callback, or a write or sync of the file layer), then the
// parent opens the file again the way the library opens it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPStatement.h"
#include "zarn/platform/Platform.h"

namespace zarn::test {

// The raw handle under a store's connection.
inline sqlite3* sqliteHandle(ZarnPSqLiteDb& db) {
    std::unique_ptr<ZarnPStatement> statement;
    db.database()->prepareStatement("SELECT 1", statement);
    return sqlite3_db_handle(statement->statement());
}

// Counts progress callbacks; kills the process at the chosen one (0: never).
struct KillPoint {
    long long calls = 0;
    long long killAt = 0;
    static int onProgress(void* self) {
        auto* point = static_cast<KillPoint*>(self);
        if (++point->calls == point->killAt)
            raise(SIGKILL);
        return 0;
    }
};
constexpr int kInstructionsPerCallback = 2000;

// A file layer over SQLite's default one that counts every write and sync of every file (database,
// log, shared memory excluded) and kills the process at the chosen one: a crash between two frames
// of one commit, or between a commit's log write and its sync. Installed as the default layer in
// a child process only (the parent never has it, but through SyncsSkipped); 0 only counts.
class KillingVfs {
  public:
    static KillingVfs& install(long long killAt) {
        static KillingVfs* vfs = new KillingVfs();  // SQLite keeps it
        vfs->calls_ = 0;
        vfs->killAt_ = killAt;
        return *vfs;
    }
    long long calls() const { return calls_; }
    // Syncs answer at once without reaching the disk (still counted as steps).
    void setSkipSyncs(bool skip) { skipSyncs_ = skip; }
    // Makes it SQLite's default layer again.
    void makeDefault() { sqlite3_vfs_register(&vfs_, 1); }

  private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };
    static sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real(); }
    static KillingVfs*& instanceSlot() {
        static KillingVfs* slot = nullptr;
        return slot;
    }
    static KillingVfs* instance() { return instanceSlot(); }
    static void step() {
        KillingVfs* v = instance();
        if (++v->calls_ == v->killAt_)
            raise(SIGKILL);
    }

    KillingVfs() {
        instanceSlot() = this;
        base_ = sqlite3_vfs_find(nullptr);
        vfs_ = *base_;
        vfs_.zName = "zarn-killing";
        vfs_.szOsFile = static_cast<int>(sizeof(File)) + base_->szOsFile;
        vfs_.pNext = nullptr;
        vfs_.pAppData = this;
        vfs_.xOpen = [](sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
            auto* me = static_cast<KillingVfs*>(vfs->pAppData);
            auto* file = reinterpret_cast<File*>(f);
            int rc = me->base_->xOpen(me->base_, name, file->real(), flags, outFlags);
            if (file->real()->pMethods) {
                me->methods_ = *file->real()->pMethods;
                me->methods_.xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); };
                me->methods_.xRead = [](sqlite3_file* f, void* buf, int n, sqlite3_int64 at) {
                    return real(f)->pMethods->xRead(real(f), buf, n, at);
                };
                me->methods_.xWrite = [](sqlite3_file* f, const void* buf, int n, sqlite3_int64 at) {
                    step();
                    return real(f)->pMethods->xWrite(real(f), buf, n, at);
                };
                me->methods_.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
                    return real(f)->pMethods->xTruncate(real(f), size);
                };
                me->methods_.xSync = [](sqlite3_file* f, int flags) {
                    step();
                    return instance()->skipSyncs_ ? SQLITE_OK : real(f)->pMethods->xSync(real(f), flags);
                };
                me->methods_.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
                    return real(f)->pMethods->xFileSize(real(f), size);
                };
                me->methods_.xLock = [](sqlite3_file* f, int level) {
                    return real(f)->pMethods->xLock(real(f), level);
                };
                me->methods_.xUnlock = [](sqlite3_file* f, int level) {
                    return real(f)->pMethods->xUnlock(real(f), level);
                };
                me->methods_.xCheckReservedLock = [](sqlite3_file* f, int* out) {
                    return real(f)->pMethods->xCheckReservedLock(real(f), out);
                };
                me->methods_.xFileControl = [](sqlite3_file* f, int op, void* arg) {
                    return real(f)->pMethods->xFileControl(real(f), op, arg);
                };
                me->methods_.xSectorSize = [](sqlite3_file* f) {
                    return real(f)->pMethods->xSectorSize(real(f));
                };
                me->methods_.xDeviceCharacteristics = [](sqlite3_file* f) {
                    return real(f)->pMethods->xDeviceCharacteristics(real(f));
                };
                me->methods_.xShmMap = [](sqlite3_file* f, int region, int size, int extend,
                                          void volatile** out) {
                    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
                };
                me->methods_.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
                    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
                };
                me->methods_.xShmBarrier = [](sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); };
                me->methods_.xShmUnmap = [](sqlite3_file* f, int deleteFlag) {
                    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
                };
                me->methods_.xFetch = [](sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
                    return real(f)->pMethods->xFetch(real(f), offset, amount, out);
                };
                me->methods_.xUnfetch = [](sqlite3_file* f, sqlite3_int64 offset, void* p) {
                    return real(f)->pMethods->xUnfetch(real(f), offset, p);
                };
                file->base.pMethods = &me->methods_;
            } else {
                file->base.pMethods = nullptr;  // SQLite calls xClose only on a file with methods
            }
            return rc;
        };
        sqlite3_vfs_register(&vfs_, 1);
    }

    sqlite3_vfs* base_ = nullptr;
    sqlite3_vfs vfs_{};
    sqlite3_io_methods methods_{};
    long long calls_ = 0;
    long long killAt_ = 0;
    bool skipSyncs_ = false;
};

// While it lives, every connection opened, in this process and in the children it runs, goes
// through a layer that skips syncs and kills nowhere: a test of killed processes waits for no
// disk, since a killed process loses nothing the system already holds for it.
class SyncsSkipped {
  public:
    SyncsSkipped() : previous_(sqlite3_vfs_find(nullptr)) {
        auto& vfs = KillingVfs::install(0);
        vfs.setSkipSyncs(true);
        vfs.makeDefault();
    }
    ~SyncsSkipped() {
        KillingVfs::install(0).setSkipSyncs(false);
        sqlite3_vfs_register(previous_, 1);
    }
    SyncsSkipped(const SyncsSkipped&) = delete;
    SyncsSkipped& operator=(const SyncsSkipped&) = delete;

  private:
    sqlite3_vfs* previous_;
};

// How a child ended.
struct ChildEnd {
    bool killed = false;
    bool finished = false;  // exit status 0
    int status = 0;
};

// Runs `work` in a child process; its exit status is 0 when `work` returns true, 2 when it
// returns false or throws. The child never outlives 30 s.
inline ChildEnd runInChild(const std::function<bool()>& work) {
    fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        return {};
    if (child == 0) {
        alarm(30);
        bool ok = false;
        try {
            ok = work();
        } catch (...) {
        }
        _exit(ok ? 0 : 2);
    }
    ChildEnd end;
    if (waitpid(child, &end.status, 0) != child)
        return end;
    end.killed = WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGKILL;
    end.finished = WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0;
    return end;
}

// Opened again as the library opens it: recovered, never moved aside as damaged, and whole: the
// nearest read's index, where the file has one, agrees with the rows it indexes.
inline void expectOpensCleanly(const std::string& path, int version, const std::string& trace) {
    ZarnPSqLiteDb reopened(version, path, zarn::platform::current().fileSystem);
    reopened.disableThreadCheck();
    auto connection = reopened.database();
    ASSERT_TRUE(connection) << trace;
    auto check = connection->executeQuery("PRAGMA integrity_check");
    ASSERT_TRUE(check && check->next()) << trace;
    EXPECT_EQ(check->stringForColumnIndex(0), std::optional<std::string>("ok")) << trace;
    check.reset();
    auto index =
        connection->executeQuery("SELECT COUNT(*) FROM sqlite_master WHERE name = 'notification_area'");
    ASSERT_TRUE(index && index->next()) << trace;
    if (index->longForColumnIndex(0) > 0) {
        EXPECT_EQ(ZarnPSqLiteNotificationAreaDao::disagreement(*connection), std::nullopt) << trace;
    }
}

}  // namespace zarn::test
