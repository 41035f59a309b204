// SPDX-License-Identifier: MIT
// brin: the game in a web page.
#include "brin.h"
#include "record.h"

int main() {
    if (!web::start_recording_or_replay()) return 1;
    brin::brin_main();
}
