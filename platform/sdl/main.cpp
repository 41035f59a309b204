// brin: the game in an SDL window.
#include "brin.h"

int main() { brin::brin_main(); }
