// SPDX-License-Identifier: MIT
// Small files replaced whole in the browser: kept in its IndexedDB by store.js, one page of
// the address at a time, and in the game's folder for the rest of the run.
#include <emscripten.h>

#include "machine.h"
#include "store.h"

// What the storage holds under the name, into `into`: its size, -1 for none, -2 when the
// storage can't be had. Holds the page's lock until page_store_finish.
EM_ASYNC_JS(int, page_store_begin, (const char* name, unsigned char* into, int room),
            { return await brinStore.begin(UTF8ToString(name), into, room); });
// Keeps `size` bytes under the name (none kept when `size` is -1), and lets the lock go.
EM_ASYNC_JS(bool, page_store_finish, (const char* name, const unsigned char* bytes, int size), {
    return await brinStore.finish(UTF8ToString(name), size < 0 ? null : HEAPU8.slice(bytes, bytes + size));
});

namespace platform::store {

namespace {

// A replay's save merges what the recorded save read, fails where it failed, and keeps
// nothing: the player's files are not the replay's.
bool replayed_save(const std::string& path, Merge merge) {
    Bytes read_again, out;
    bool found = false;
    return data_read_again(path.c_str(), true, read_again, found) && merge(read_again, found, out) &&
           data_may_write(path.c_str());
}

}  // namespace

// Every file the game keeps here is shared by the pages of its address.
bool replace(const std::string& path, Merge merge, bool) {
    if (machine::replaying()) return replayed_save(path, merge);
    Bytes on_disk(kMostReadBack);
    int size = page_store_begin(path.c_str(), on_disk.data(), static_cast<int>(on_disk.size()));
    on_disk.resize(size < 0 ? 0 : static_cast<std::size_t>(size));
    bool found = size >= 0;
    Bytes out;
    // Storage that can't be had fails the save before it read anything.
    bool merged = data_read_again(path.c_str(), size >= -1, on_disk, found) && merge(on_disk, found, out);
    if (size < -1) return false;
    bool kept = page_store_finish(path.c_str(), out.data(), merged ? static_cast<int>(out.size()) : -1);
    return merged && data_written(path.c_str(), kept);
}

}  // namespace platform::store
