// SPDX-License-Identifier: MIT
// Fuzz target for the high-score file: the input is max.pun, read as at start-up and then
// shown as the table after a game whose total (-1) does not enter it. The target works in a
// folder of its own; the table's five seconds pass in a few large clock steps.
#include <fcntl.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>

#include "brin.h"
#include "fresh_machine.h"
#include "input_file.h"

namespace {

char folder[] = "/tmp/brin-scores-fuzzXXXXXX";

void remove_folder() {
    std::remove("max.pun");
    std::remove("max.pun.new");
    rmdir(folder);
}

bool in_own_folder() {
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) return false;
    std::atexit(remove_folder);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = in_own_folder();
    if (!ready) std::abort();
    int fd = open("max.pun", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 0;
    bool written = fuzz::write_all(fd, data, size);
    close(fd);
    if (!written) return 0;
    test::switch_on();
    sim::set_quantum_us(100000);
    std::memset(brin::puntos, 0, sizeof brin::puntos);
    std::memset(brin::nombres, 0, sizeof brin::nombres);
    brin::leer_puntos();
    brin::puntuar(-1);
    vora256::mode(0);
    return 0;
}
