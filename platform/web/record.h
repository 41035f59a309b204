// SPDX-License-Identifier: MIT
// Recordings in the browser (record.cpp): every game recorded in memory and offered to the
// player at its end, or a recording the player gave the page played back instead.
#pragma once

namespace web {

// Before the game: false when the recording the page was given is refused (the page says why).
bool start_recording_or_replay();

}  // namespace web
