// brin: the game in an SDL window.
#include "game/brin.h"

int main() { return brin::brin_main(); }
