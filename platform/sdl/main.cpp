// brin: the game in an SDL window.
#include "game/brin.h"

int main() { brin::brin_main(); }
