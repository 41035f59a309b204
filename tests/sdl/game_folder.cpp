// SPDX-License-Identifier: MIT
// Makes a folder of the small game data the scenario tests play with and prints its path,
// for the tests that play the real brin.
#include <cstdio>

#include "scenario/game_files.h"

int main() { std::puts(scenario::game_folder().c_str()); }
