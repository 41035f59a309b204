// SPDX-License-Identifier: MIT
// Fuzz target for a recording's contents as they come out of unpacking, past the checksums
// that make mutated packed files fail at once: the first byte chooses the format (1 to 3),
// the rest are the contents. They are refused with a reason, or replayable: then they name
// only the data files a recording may name, and the stream to replay lies within them.
#include <cstdint>
#include <cstdlib>

#include "recording_format.h"

namespace recording = platform::recording;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    recording::Loaded r;
    r.format = static_cast<std::uint16_t>(1 + data[0] % recording::kFormat);
    r.body.assign(data + 1, data + size);
    recording::format::check_contents(r);
    if (!r.error.empty()) {
        if (!r.ends_early.empty()) std::abort();  // refused or replayable, never both
        return 0;
    }
    if (r.body.size() > size - 1 || r.stream_at > r.body.size()) std::abort();
    for (const auto& f : r.files)
        if (!recording::format::data_name(f.name)) std::abort();
    return 0;
}
