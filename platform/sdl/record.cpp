// SPDX-License-Identifier: MIT
// Every game in the window is recorded, and kept as the last game; --record keeps it as a
// file of the player's choosing too, and --replay plays one back instead of the player.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "machine.h"
#include "recording.h"
#include "sdl.h"
#include "store.h"

namespace sdl {
namespace {

namespace recording = platform::recording;
namespace store = platform::store;

// Where the game goes as it is played: the file --record names, and the last game. Each
// grows under a name of its own and takes its own name at the end, so a crash leaves the
// last game before it whole, and the crashed one beside it.
struct Kept {
    store::Growing file;
    std::string path;
    const char* what = "";  // as the player is told it could not be saved
    bool failed = false;
    int error = 0;  // why
};
std::vector<Kept> kept;

void fail(Kept& k) {
    k.failed = true;
    k.error = errno;
}

bool keep(const std::uint8_t* bytes, std::size_t size) {
    bool any = false;
    for (Kept& k : kept) {
        if (!k.failed && !store::grow(k.file, bytes, size)) fail(k);
        any = any || !k.failed;
    }
    return any;
}

void begin_keeping(const std::string& path, const char* what, bool folder_made) {
    Kept& k = kept.emplace_back();
    k.path = path;
    k.what = what;
    if (!folder_made || !store::start_growing(path, k.file)) fail(k);
}

extern "C" void keep_recording() {
    recording::finish_recording();
    bool played = window_ever_opened();  // no game was played: the last one stays
    for (Kept& k : kept) {
        if (played && !k.failed && !store::finish_growing(k.file)) fail(k);
        if (!played || k.failed) store::abandon_growing(k.file);
        if (played && k.failed) {
            errno = k.error;
            say_not_saved(k.what, k.path);
        }
    }
    if (std::string why = recording::recording_stopped(); played && !why.empty())
        std::fprintf(stderr, "brin: %s\n", why.c_str());
}

// Where the data files may be, in the launcher's order: here, the player's data folder, then
// the data shipped with the program (installed beside it, or the tree it was built from).
std::vector<std::string> data_folders() {
    std::vector<std::string> folders = {std::filesystem::current_path().string()};
    if (std::string mine = xdg_folder("XDG_DATA_HOME", "/.local/share"); !mine.empty()) folders.push_back(mine);
    std::error_code unknown;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", unknown);
    if (!unknown) folders.push_back((program.parent_path() / BRIN_INSTALLED_DATA).lexically_normal().string());
    folders.push_back(BRIN_SOURCE_DATA);
    return folders;
}

bool holds_any(const recording::Loaded& r, const std::string& folder) {
    return std::any_of(r.files.begin(), r.files.end(), [&](const auto& f) {
        return f.present && std::filesystem::exists(std::filesystem::path(folder) / f.name);
    });
}

// The first folder with the data files the recording was made with. When none has them, why
// not: for the first folder that holds any of them, named when it is not this one.
std::string data_folder(const recording::Loaded& r, std::string& why) {
    std::vector<std::string> folders = data_folders();
    for (const auto& folder : folders)
        if (recording::data_differs(r, folder).empty()) return folder;
    auto named = std::find_if(folders.begin(), folders.end(), [&](const auto& f) { return holds_any(r, f); });
    why = recording::data_differs(r, named == folders.end() ? folders[0] : *named);
    if (named != folders.end() && named != folders.begin()) why += " (in " + *named + ")";
    return "";
}

int replay(const std::string& path) {
    recording::Loaded r = recording::load(path);
    std::string here = std::filesystem::current_path().string(), why;
    std::string folder = r.error.empty() ? data_folder(r, why) : here;
    if (why.empty()) why = recording::ready_to_replay(r, folder);
    if (!why.empty()) {
        std::fprintf(stderr, "brin: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    if (folder != here)
        std::fprintf(stderr, "brin: %s: played with the data files of %s\n", path.c_str(), folder.c_str());
    recording::start_replay(std::move(r), "brin: " + path);
    return -1;
}

}  // namespace

std::string state_folder() { return xdg_folder("XDG_STATE_HOME", "/.local/state"); }

int start_recording_or_replay() {
    if (!settings().replay.empty()) return replay(settings().replay);
    if (!settings().record.empty()) begin_keeping(settings().record, "the recording", true);
    std::string folder = state_folder();
    if (!folder.empty()) begin_keeping(folder + "/last.brinrec", "the last game as", make_folders(folder));
    recording::start_recording(platform::machine::now(), keep);
    std::atexit(keep_recording);
    return -1;
}

}  // namespace sdl
