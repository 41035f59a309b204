// SPDX-License-Identifier: MIT
// Every game in the window is recorded, and kept as the last game; --record keeps it as a
// file of the player's choosing too, and --replay plays one back instead of the player.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "machine.h"
#include "recording.h"
#include "sdl.h"

namespace sdl {
namespace {

namespace recording = platform::recording;

extern "C" void keep_recording() {
    if (!window_ever_opened()) return;  // no game was played: the last one stays
    std::vector<std::uint8_t> bytes = recording::finish_recording();
    std::string file(bytes.begin(), bytes.end());
    const std::string& chosen = settings().record;
    if (!chosen.empty()) write_whole(chosen, file, "the recording");
    // A crash never gets here: the last game kept stays the one before.
    std::string folder = state_folder();
    if (folder.empty()) return;
    std::string last = folder + "/last.brinrec";
    if (make_folders(folder))
        write_whole(last, file, "the last game as");
    else
        say_not_saved("the last game as", last);
}

int replay(const std::string& path) {
    recording::Loaded r = recording::load(path);
    std::string here = std::filesystem::current_path().string();
    std::string why = recording::ready_to_replay(r, here);
    if (!why.empty()) {
        std::fprintf(stderr, "brin: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    recording::start_replay(std::move(r), "brin: " + path);
    return -1;
}

}  // namespace

std::string state_folder() { return xdg_folder("XDG_STATE_HOME", "/.local/state"); }

int start_recording_or_replay() {
    if (!settings().replay.empty()) return replay(settings().replay);
    recording::start_recording(platform::machine::now());
    std::atexit(keep_recording);
    return -1;
}

}  // namespace sdl
