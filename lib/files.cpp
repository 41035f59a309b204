// SPDX-License-Identifier: MIT
// Data files, through the machine's file service.
#include "platform.h"
#include "vora256.h"

namespace vora256 {

std::FILE* abre_datos(const char* path) {
    std::FILE* f = platform::store::open_data(path);
    platform::store::data_file(path, f);
    return f;
}

bool guarda_datos(const char* path, Funde funde) { return platform::store::replace(path, funde, true); }

}  // namespace vora256
