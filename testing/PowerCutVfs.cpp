#include "testing/PowerCutVfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "testing/ForwardingVfs.h"

namespace zarn::test {

namespace {

// What the disk holds for certain of one file: its size at its last sync, and the bytes of that
// synced content that writes or a truncation have covered since (disjoint ranges by offset).
struct Image {
    sqlite3_int64 syncedSize = 0;
    std::map<sqlite3_int64, std::string> saved;
};

struct State {
    mutable std::mutex mutex;
    std::string folder;  // empty: nothing watched
    std::map<std::string, std::shared_ptr<Image>> images;
    std::function<void(uint64_t, bool)> hook;
    std::atomic<uint64_t> calls{0};
};

State& state() {
    static State* s = new State();  // the layer outlives every connection
    return *s;
}

struct CutFile {
    sqlite3_file base;
    std::shared_ptr<Image>* image;  // null when the file is not watched
};
using Forwarding = ForwardingVfs<CutFile>;

CutFile* cut(sqlite3_file* f) {
    return Forwarding::head(f);
}
sqlite3_file* real(sqlite3_file* f) {
    return Forwarding::real(f);
}

sqlite3_vfs* baseVfs = nullptr;
sqlite3_vfs cutVfs;

// Keeps the synced bytes of [from, to) that no saved range holds yet, read from the file before
// they are written over. Called with the state's lock held.
void save(sqlite3_file* f, Image& image, sqlite3_int64 from, sqlite3_int64 to) {
    to = std::min(to, image.syncedSize);
    sqlite3_int64 at = from;
    auto it = image.saved.upper_bound(at);
    if (it != image.saved.begin()) {
        auto before = std::prev(it);
        if (before->first + static_cast<sqlite3_int64>(before->second.size()) > at)
            it = before;
    }
    while (at < to) {
        sqlite3_int64 gapEnd = to;
        if (it != image.saved.end() && it->first <= at) {
            at = it->first + static_cast<sqlite3_int64>(it->second.size());
            ++it;
            continue;
        }
        if (it != image.saved.end())
            gapEnd = std::min(gapEnd, it->first);
        std::string bytes(static_cast<size_t>(gapEnd - at), '\0');
        // A short read leaves zeros, as the disk beyond a shorter file would read.
        real(f)->pMethods->xRead(real(f), bytes.data(), static_cast<int>(bytes.size()), at);
        image.saved.emplace(at, std::move(bytes));
        at = gapEnd;
    }
}

// The hook for a write or sync of a watched file, called with nothing held.
void beforeWriteOrSync(sqlite3_file* f, bool sync) {
    if (!cut(f)->image)
        return;
    std::function<void(uint64_t, bool)> hook;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        hook = state().hook;
    }
    uint64_t call = state().calls++;
    if (hook)
        hook(call, sync);
}

int xClose(sqlite3_file* f) {
    delete cut(f)->image;
    cut(f)->image = nullptr;
    return real(f)->pMethods->xClose(real(f));
}
int xWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
    beforeWriteOrSync(f, false);
    if (auto* image = cut(f)->image) {
        std::lock_guard<std::mutex> lock(state().mutex);
        save(f, **image, offset, offset + amount);
    }
    return real(f)->pMethods->xWrite(real(f), buf, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    if (auto* image = cut(f)->image) {
        std::lock_guard<std::mutex> lock(state().mutex);
        save(f, **image, size, (*image)->syncedSize);
    }
    return real(f)->pMethods->xTruncate(real(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    beforeWriteOrSync(f, true);
    int rc = real(f)->pMethods->xSync(real(f), flags);
    if (auto* image = cut(f)->image; image && rc == SQLITE_OK) {
        sqlite3_int64 size = 0;
        real(f)->pMethods->xFileSize(real(f), &size);
        std::lock_guard<std::mutex> lock(state().mutex);
        (*image)->saved.clear();
        (*image)->syncedSize = size;
    }
    return rc;
}
const sqlite3_io_methods kMethods = [] {
    sqlite3_io_methods m = Forwarding::methods();
    m.xClose = xClose;
    m.xWrite = xWrite;
    m.xTruncate = xTruncate;
    m.xSync = xSync;
    // No pages mapped from the file: every read goes through xRead.
    m.xFetch = [](sqlite3_file*, sqlite3_int64, int, void** out) {
        *out = nullptr;
        return SQLITE_OK;
    };
    return m;
}();

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    CutFile* file = cut(f);
    file->image = nullptr;
    int rc = Forwarding::open(baseVfs, name, f, flags, outFlags, &kMethods);
    if (rc != SQLITE_OK || !file->base.pMethods || !name)
        return rc;
    std::string path(name);
    std::lock_guard<std::mutex> lock(state().mutex);
    const std::string& folder = state().folder;
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0)
        return rc;
    auto& image = state().images[path];
    if (!image) {
        image = std::make_shared<Image>();
        real(f)->pMethods->xFileSize(real(f), &image->syncedSize);
    }
    file->image = new std::shared_ptr<Image>(image);
    return rc;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (name)
            state().images.erase(name);
    }
    return baseVfs->xDelete(baseVfs, name, syncDir);
}

}  // namespace

PowerCutVfs::PowerCutVfs() {
    baseVfs = Forwarding::registerOverDefault(cutVfs, "zarn-power-cut", xOpen);
    cutVfs.xDelete = xDelete;
}

PowerCutVfs& PowerCutVfs::install() {
    static PowerCutVfs* vfs = new PowerCutVfs();  // never destroyed: SQLite keeps it
    return *vfs;
}

void PowerCutVfs::watch(const std::string& folder) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().folder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    state().images.clear();
    state().calls = 0;
}

void PowerCutVfs::stopWatching() {
    watch("");
}

void PowerCutVfs::setCutHook(std::function<void(uint64_t, bool)> hook) {
    std::lock_guard<std::mutex> lock(state().mutex);
    state().hook = std::move(hook);
}

uint64_t PowerCutVfs::writesAndSyncs() const {
    return state().calls.load();
}

void PowerCutVfs::copyInto(const std::string& folder, bool cut) const {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::lock_guard<std::mutex> lock(state().mutex);
    for (const auto& [path, image] : state().images) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in)
            continue;  // never made, or removed since
        // Read whole, not a character at a time: a sanitized build pays for every call.
        std::string bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<size_t>(in.gcount()));
        if (cut) {
            bytes.resize(static_cast<size_t>(
                std::max<sqlite3_int64>(image->syncedSize, static_cast<sqlite3_int64>(bytes.size()))));
            for (const auto& [at, old] : image->saved)
                bytes.replace(static_cast<size_t>(at), old.size(), old);
            bytes.resize(static_cast<size_t>(image->syncedSize));
        }
        std::ofstream out(folder + "/" + std::filesystem::path(path).filename().string(),
                          std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
}

}  // namespace zarn::test
