// SPDX-License-Identifier: MIT
// The levels of one game: set-up, the play loop with its countdown, and the scoring.
#include <cstdlib>

#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

int nivel = 0;
int tiempo = 0;
long tie = 0;
int pun1 = 0;
int pun2 = 0;
int punx = 0;
int m = 0;
int marca = kSinMarca;
int t = 0;
int tt = 0;
int xm = 0;
int ym = 0;

namespace {

// Scancodes the loop acts on.
constexpr int kEspacio = 57;
constexpr int kArriba[] = {16, 72};     // Q, keypad 8 and the up arrow
constexpr int kAbajo[] = {30, 80};      // A, keypad 2 and the down arrow
constexpr int kIzquierda[] = {24, 75};  // O, keypad 4 and the left arrow
constexpr int kDerecha[] = {25, 77};    // P, keypad 6 and the right arrow
constexpr int kEscape = 27;
constexpr int kEnter = 13;

struct Nivel {
    const char* dibujo;
    int segundos;
};

Nivel nivel_de(int n) {
    constexpr Nivel kTabla[] = {{"1.pcx", 60}, {"2.pcx", 60}, {"3.pcx", 60}, {"4.pcx", 60},
                                {"1.pcx", 30}, {"2.pcx", 30}, {"3.pcx", 30}, {"4.pcx", 30}};
    return n >= 0 && n < 8 ? kTabla[n] : Nivel{"3.pcx", 25};
}

bool es(int scancode, const int (&teclas)[2]) { return scancode == teclas[0] || scancode == teclas[1]; }

void prepara_nivel() {
    srandom(Ctime());
    Nivel n = nivel_de(nivel);
    loadpcx(n.dibujo);
    tiempo = n.segundos;
    getcolors();
    IMOUSE = COLOR[1];
    PMOUSE = COLOR[0];
    rejilla(false);
    for (int c = 0; c < 20; ++c) cuadro[c] = c;
    espera(20);
    fade(3);
    desordena(10);
    fade(-3);
    tie = vora256::time(nullptr) + tiempo;
    m = 3;
    mouses(xm, ym, 2);
}

void dibuja_marcos() {
    if (marca != kSinMarca) recuadro1(marca);
    recuadro(m);
}

// The countdown is drawn into the pixels of the cell holding piece 3, so it travels
// with that piece.
void cuenta_atras(int h) {
    if (pun1 == pun2) return;
    pun2 = pun1;
    INK = COLOR[5];
    PAPER = COLOR[7];
    FONTX = 4;
    FONTY = 5;
    printc(celda_x(h) + 20, celda_y(h) + 20, "   ");
    printn(celda_x(h) + 20, celda_y(h) + 20, pun1);
}

void mueve_puntero() {
    mouses(xm, ym, 3);
    mouses(XMOUSE, YMOUSE, 2);
    mouses(XMOUSE, YMOUSE, 1);
    xm = XMOUSE;
    ym = YMOUSE;
    if (XMOUSE > 632) XMOUSE = 632;
    if (YMOUSE > 470) YMOUSE = 470;
    m = (YMOUSE / kAlto) * 4 + XMOUSE / kAncho;
    dibuja_marcos();
}

void clic() {
    sonido(1500, 1);
    espera(3);
    if (marca == kSinMarca) {
        marca = m;
        return;
    }
    mover(m, marca);
    marca = kSinMarca;
}

void espacio() {
    sonido(1500, 1);
    if (marca == kSinMarca) {
        marca = m;
        espera(4);
        return;
    }
    mover(m, marca);
    marca = kSinMarca;
}

void tecla() {
    if (tt == kEspacio) espacio();
    if (es(tt, kArriba) && m - 4 >= 0) m -= 4;
    if (es(tt, kAbajo) && m + 4 <= 19) m += 4;
    if (es(tt, kIzquierda) && m > 0) --m;
    if (es(tt, kDerecha) && m <= 18) ++m;
    if (t == kEnter) ayuda();
    dibuja_marcos();
}

// Cell holding piece 3, or -1 when every piece is home.
int pieza_tres_o_entero() {
    bool entero = true;
    int h = 0;
    for (int c = 0; c < 20; ++c) {
        if (cuadro[c] != c) entero = false;
        if (cuadro[c] == 3) h = c;
    }
    return entero ? -1 : h;
}

// Passes of the loop until the picture is whole (true) or the time is out (false).
bool juega() {
    for (;;) {
        // Escape read in the previous pass ends the program.
        if (t == kEscape) {
            mode(kTextMode);
            std::exit(0);
        }
        int k = inkey2();
        t = k % 256;
        tt = k >> 8;
        mouse(3);
        int h = pieza_tres_o_entero();
        if (h < 0) return true;
        pun1 = static_cast<int>(tie - vora256::time(nullptr));
        cuenta_atras(h);
        if (pun1 < 1) return false;
        if (CMOUSE == 1 && MOUSE != 0) mueve_puntero();
        if (CMOUSE == 1 && KMOUSE == 1 && MOUSE != 0) clic();
        if (t == 0 && tt == 0) continue;
        tecla();
    }
}

void puntua() {
    INK = COLOR[2];
    FONTX = 4;
    FONTY = 4;
    printc(230, 200, "PUNTOS");
    printc(100, 240, "NIVEL x TIEMPO");
    pun1 = (nivel + 1) * pun1;
    printn(270, 320, pun1);
    waits(1);
    while (pun1 > 0) {
        ++punx;
        printn(270, 380, punx);
        sonido(100 * pun1, 2);
        --pun1;
    }
    waits(2);
    fade(1);
    clear(COLOR[0]);
    fade(-10);
    ++nivel;
}

}  // namespace

void niveles() {
    for (;;) {
        prepara_nivel();
        if (!juega()) return;
        puntua();
    }
}

}  // namespace brin
