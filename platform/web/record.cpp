// SPDX-License-Identifier: MIT
#include "record.h"

#include <emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "machine.h"
#include "recording.h"

// ---- the page's side (recordings.js) ----

// The size of the recording the player gave, -1 for none; its bytes copied into `into`.
EM_JS(int, page_replay_size, (), {
    var r = brinRecordings.unpacked();
    return r ? r.file.length : -1;
});
EM_JS(void, page_replay_file, (std::uint8_t * into), { HEAPU8.set(brinRecordings.unpacked().file, into); });
// The game's recording, and why it stopped before the game did (empty when it did not).
EM_JS(void, page_recorded, (const std::uint8_t* bytes, std::size_t size, const char* stopped),
      { brinRecordings.recorded(HEAPU8.slice(bytes, bytes + size), UTF8ToString(stopped)); });
EM_JS(void, page_refused, (const char* why), { brinRecordings.refused(UTF8ToString(why)); });
// The name of the file given, which the replay's words begin with.
EM_JS(void, page_replay_name, (char* into, int room), { stringToUTF8(brinRecordings.unpacked().name, into, room); });

namespace web {
namespace {

namespace recording = platform::recording;

extern "C" void offer_recording() {
    std::vector<std::uint8_t> file = recording::finish_recording();
    page_recorded(file.data(), file.size(), recording::recording_stopped().c_str());
}

}  // namespace

bool start_recording_or_replay() {
    int size = page_replay_size();
    if (size < 0) {
        recording::start_recording(platform::machine::now());
        std::atexit(offer_recording);
        return true;
    }
    std::vector<std::uint8_t> file(static_cast<std::size_t>(size));
    page_replay_file(file.data());
    recording::Loaded r = recording::parse(file);
    char here[256];
    std::string folder = getcwd(here, sizeof here) != nullptr ? here : ".";
    std::string why = recording::ready_to_replay(r, folder);
    if (!why.empty()) {
        page_refused(why.c_str());
        return false;
    }
    char name[256];
    page_replay_name(name, sizeof name);
    recording::start_replay(std::move(r), name);
    return true;
}

}  // namespace web
