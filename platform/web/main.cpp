// SPDX-License-Identifier: MIT
// brin: the game in a web page.
#include "brin.h"

int main() { brin::brin_main(); }
