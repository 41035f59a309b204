// SPDX-License-Identifier: MIT
// brin: the game in an SDL window. The arguments are the window's; the game takes none.
#include "brin.h"
#include "sdl.h"

int main(int argc, char** argv) {
    int status = sdl::take_command_line(argc, argv);
    if (status >= 0) return status;
    status = sdl::start_recording_or_replay();
    if (status >= 0) return status;
    brin::brin_main();
}
