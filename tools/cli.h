// SPDX-License-Identifier: MIT
// What every tool's main does with failures: one line on standard error, status 1; and the
// checks of their options' values.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>

namespace tools {

template <typename Body>
int run(const char* name, Body body) {
    try {
        body();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
}

// The value of `option` as a whole number from `lowest` to `highest`, or an error naming both.
inline long whole_number(const std::string& option, const std::string& text, long lowest, long highest) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno != 0 || value < lowest || value > highest)
        throw std::runtime_error(option + " wants a whole number from " + std::to_string(lowest) + " to " +
                                 std::to_string(highest) + ", not \"" + text + "\"");
    return value;
}

}  // namespace tools
