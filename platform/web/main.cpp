// brin: the game in a web page.
#include "game/brin.h"

int main() { brin::brin_main(); }
