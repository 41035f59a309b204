// What every tool's main does with failures: one line on standard error, status 1.
#pragma once

#include <cstdio>
#include <exception>

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

}  // namespace tools
