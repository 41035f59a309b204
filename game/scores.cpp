// SPDX-License-Identifier: MIT
// The five best totals with their names, kept in max.pun.
#include <cstdio>
#include <cstring>
#include <vector>

#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

std::uint16_t puntos[6] = {};
unsigned char nombres[48] = {};

namespace {

using Bytes = std::vector<unsigned char>;

constexpr const char* kFichero = "max.pun";
constexpr int kBytes = 58;  // five 16-bit scores, then 8 character rows of 6 columns
constexpr int kSwap = 5;    // the column and score used while swapping two entries

struct Entrada {
    std::uint16_t puntos;
    unsigned char nombre[8];
};

// The table as this game last read it from the file or wrote it there. A file that differs
// from it was saved by another game meanwhile.
Bytes conocida(kBytes, 0);
Entrada nueva{};  // the entry being saved

unsigned char& letra(int r, int e) { return nombres[6 * r + e]; }

void aviso() {
    printc(1, 1, "Error archivo MAX.PUN");
    waits(3);
}

Bytes a_bytes() {
    Bytes b(kBytes);
    for (int e = 0; e < 5; ++e) {
        b[2 * e] = static_cast<unsigned char>(puntos[e] & 0xFF);
        b[2 * e + 1] = static_cast<unsigned char>(puntos[e] >> 8);
    }
    std::memcpy(b.data() + 10, nombres, sizeof nombres);
    return b;
}

void de_bytes(const Bytes& b) {
    for (int e = 0; e < 5; ++e) puntos[e] = static_cast<std::uint16_t>(b[2 * e] | b[2 * e + 1] << 8);
    std::memcpy(nombres, b.data() + 10, sizeof nombres);
}

// The table from max.pun over `b`: a short file fills it as far as it reaches, and the rest
// keeps its value, so how much was read does not matter.
bool lee(Bytes& b) {
    std::FILE* f = abre_datos(kFichero);
    if (f == nullptr) return false;
    [[maybe_unused]] std::size_t leidos = std::fread(b.data(), 1, kBytes, f);
    std::fclose(f);
    return true;
}

// The name typed for a score that enters the table.
Entrada pide_nombre(std::int16_t s) {
    clear(0);
    INK = 7;
    printc(10, 20, "ESTAS ENTRE LOS CINCO PRIMEROS");
    printc(10, 60, "ESCRIBE TU NOMBRE ");
    INK = 5;
    inputc(20, 100, "");
    Entrada n{static_cast<std::uint16_t>(s), {}};
    for (int r = 0; r < 8 && VARI[r] != 0; ++r) n.nombre[r] = static_cast<unsigned char>(VARI[r]);
    n.nombre[7] = 0;
    return n;
}

// One upward bubble pass: equal scores keep their order, so a new one goes below them.
void ordena() {
    for (int k = 3; k >= 0; --k) {
        if (puntos[k] >= puntos[k + 1]) continue;
        puntos[kSwap] = puntos[k];
        puntos[k] = puntos[k + 1];
        puntos[k + 1] = puntos[kSwap];
        for (int r = 0; r < 8; ++r) {
            letra(r, kSwap) = letra(r, k);
            letra(r, k) = letra(r, k + 1);
            letra(r, k + 1) = letra(r, kSwap);
        }
    }
}

// An entry that beats the fifth takes its place and is sorted up.
void coloca(const Entrada& n) {
    if (n.puntos <= puntos[4]) return;
    puntos[4] = n.puntos;
    for (int r = 0; r < 8; ++r) letra(r, 4) = n.nombre[r];
    ordena();
}

// The table to write, from the one on disk now. Only a table another game changed is taken
// as it is on disk, with the new entry placed into it by the same rule. One missing, or too
// short to be a table (emptied meanwhile), gets this game's table, entry and all, as the
// original writes it: its scores are not to be lost to a file that holds none. Either is
// then shown.
bool funde(const Bytes& disco, bool hay, Bytes& escrita) {
    if (hay && disco.size() >= kBytes) {
        Bytes leida(disco.begin(), disco.begin() + kBytes);
        if (leida != conocida) {
            conocida = leida;
            de_bytes(leida);
            coloca(nueva);
        }
    }
    escrita = a_bytes();
    return true;
}

void muestra() {
    clear(0);
    INK = 5;
    box(20, 20, 600, 360);
    printc(160, 80, "MAXIMAS PUNTUACIONES");
    printc(160, 96, "--------------------");
    for (int i = 0; i < 5; ++i) {
        INK = i + 2;
        for (int j = 0; j < 8; ++j) impri(210 + 16 * j, 160 + 16 * i, letra(j, i));
        printn(388, 160 + 16 * i, puntos[i]);
    }
}

}  // namespace

void leer_puntos() {
    Bytes b = a_bytes();
    bool hay = lee(b);
    de_bytes(b);
    conocida = b;
    if (!hay) aviso();
}

void puntuar(int score) {
    paleta();
    FONTX = 2;
    FONTY = 2;
    PAPER = 0;
    auto s = static_cast<std::int16_t>(score & 0xFFFF);
    if (s > puntos[4]) {
        nueva = pide_nombre(s);
        coloca(nueva);
        if (guarda_datos(kFichero, funde))
            conocida = a_bytes();
        else
            aviso();  // the entry stays in the table for the rest of the run, and is shown
    }
    muestra();
    waits(5);
}

}  // namespace brin
