// SPDX-License-Identifier: MIT
// The help page over the top-left corner, with the corner put back afterwards.
#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

namespace {

struct Linea {
    int y;
    const char* texto;  // 40 characters, so each line covers the page's width
};

constexpr Linea kAyuda[] = {
    {8, "              AYUDA                     "},
    {40, "     q,Q  - ARRIBA                      "},
    {48, "     a,A  - ABAJO                       "},
    {56, "     o,O  - IZQUIERDA                   "},
    {64, "     p,P  - DERECHA                     "},
    {80, "     ESPACIO -> MOVER                   "},
    {144, "    ENTER - AYUDA                       "},
    {152, "    ESC   - SALIR                       "},
    {176, "            pulsa una tecla             "},
    {184, "                                        "},
};

}  // namespace

void ayuda() {
    getz(1, 0, 0, 0, 0, 320, 200);
    INK = 0;
    bar(0, 0, 319, 191);
    INK = 254;
    PAPER = 0;
    FONTX = 1;
    FONTY = 1;
    for (const Linea& l : kAyuda) printc(0, l.y, l.texto);
    // Keys typed before the page showed don't close it.
    while (inkey() != 0) {
    }
    while (inkey() == 0) {
    }
    putz(1, 0, 0, 0, 0, 320, 200);
}

}  // namespace brin
