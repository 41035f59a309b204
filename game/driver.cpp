// SPDX-License-Identifier: MIT
// Start-up and the game cycle: title, levels, game over, high scores, and again.
#include <cstdio>
#include <cstdlib>

#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

namespace {

// Rectangles of the three images in the title graphics (slot 0).
struct Imagen {
    int x, y, w, h;
};
constexpr Imagen kPresentacion{218, 0, 112, 36};
constexpr Imagen kTitulo{0, 0, 205, 55};
constexpr Imagen kFinal{88, 62, 244, 36};

void pega(const Imagen& i, int x, int y) { putz(0, x, y, i.x, i.y, i.w, i.h); }

void arranca() {
    mode(kGraphicsMode);
    if (dmode() != kGraphicsMode) {
        std::printf("NECESITA SVGA VESA");
        std::exit(0);
    }
    loadfont("topaz.fon");
    clear(255);
    paleta();
    loadblock(0, "brin.pcx");
    FONTX = 2;
    FONTY = 2;
    leer_puntos();
    getblock(1, 0, 0, 320, 200);
}

// Ten falling tones, three times over; the first of each ten is a rest.
void fanfarria() {
    for (int vez = 0; vez < 3; ++vez)
        for (int d = 0; d < 6000; d += 600) sonido(d, 2);
}

void titulo() {
    paletablock(0);
    getcolors();
    INK = COLOR[5];
    PAPER = COLOR[0];
    pega(kPresentacion, 250, 200);
    espera(20);
    fade(3);
    clear(0);
    printc(250, 200, "PRESENTA");
    fade(-3);
    espera(10);
    fade(3);
    clear(0);
    pega(kTitulo, 200, 200);
    fade(-3);
    fanfarria();
    espera(30);
    fade(3);
}

void fin_del_juego() {
    for (int c = 0; c < 20; ++c) {
        negro(c);
        sonido(100 * c, 4);
    }
    paletablock(0);
    getcolors();
    pega(kFinal, 200, 200);
    waits(3);
    fade(1);
    clear(COLOR[0]);
    fade(-10);
}

}  // namespace

void brin_main() {
    arranca();
    for (;;) {
        punx = 0;
        nivel = 0;
        titulo();
        niveles();
        fin_del_juego();
        puntuar(static_cast<std::int16_t>(punx));
    }
}

}  // namespace brin
