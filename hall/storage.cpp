// SPDX-License-Identifier: MIT
// The storage chosen by its address, and the id every game is kept under.
#include <openssl/evp.h>

#include "hall.h"

namespace hall {

std::string digest_of(const Bytes& file) {
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(file.data(), file.size(), sum, &size, EVP_sha256(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += kHex[sum[i] >> 4];
        text += kHex[sum[i] & 15];
    }
    return text;
}

std::unique_ptr<Storage> open_storage(const std::string& where) {
    if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0) return open_postgres(where);
    return open_sqlite(where);
}

}  // namespace hall
