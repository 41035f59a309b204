// SPDX-License-Identifier: MIT
// brin-picture run as a player runs it, with what it said and the memory it took.
#pragma once

#include <string>
#include <vector>

namespace test {

struct Converted {
    int status = -1;    // the exit status; -1 when it did not exit
    long peak_kib = 0;  // the most resident memory it had
    std::string said;   // on either output
};

// Runs brin-picture with `arguments` in `environment` (the tests' own when empty), its
// outputs into a file in `dir`.
Converted convert(const std::vector<std::string>& arguments, const std::string& dir,
                  const std::vector<std::string>& environment = {});

}  // namespace test
