// Fuzz target for the picture loaders: the input is a picture file, given to loadpcx and
// then to loadblock on a freshly switched-on simulated machine. Header bytes 12-15 (the
// resolution, which the loaders never read) also place the picture: CX and CY from -1023 to
// 1023, around and past every edge of screen memory. (Far above the screen a tall picture
// only costs time: its rows are decoded and dropped.)
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "lib/vora256.h"
#include "platform/sim/sim.h"

namespace {

int position_at(const std::uint8_t* data, std::size_t size, std::size_t at) {
    if (size < at + 2) return 0;
    return static_cast<std::int16_t>(data[at] | data[at + 1] << 8) % 1024;
}

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = memfd_create("picture", 0);
    if (fd < 0) return 0;
    if (write_all(fd, data, size)) {
        std::string path = "/proc/self/fd/" + std::to_string(fd);
        sim::reset();
        vora256::BANCO = 0;
        vora256::CX = position_at(data, size, 12);
        vora256::CY = position_at(data, size, 14);
        vora256::mode(10);
        vora256::loadpcx(path.c_str());
        vora256::loadblock(0, path.c_str());
        vora256::mode(0);
    }
    close(fd);
    return 0;
}
