// SPDX-License-Identifier: MIT
// Fuzz target for the recording reader: any bytes are refused with a reason or read whole,
// within the memory their declared length allows.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "recording.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    platform::recording::Loaded r = platform::recording::parse(file);
    // A recording read whole can be replayed; one refused holds nothing to replay.
    if (r.error.empty() == r.body.empty()) std::abort();
    return 0;
}
