// The five best totals with their names, kept in max.pun.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

std::uint16_t puntos[6] = {};
unsigned char nombres[48] = {};

namespace {

constexpr const char* kFichero = "max.pun";
constexpr const char* kNuevo = "max.pun.new";
constexpr int kBytes = 58;  // five 16-bit scores, then 8 character rows of 6 columns
constexpr int kSwap = 5;     // the column and score used while swapping two entries

unsigned char& letra(int r, int e) { return nombres[6 * r + e]; }

void aviso() {
    printc(1, 1, "Error archivo MAX.PUN");
    waits(3);
}

void a_bytes(unsigned char (&b)[kBytes]) {
    for (int e = 0; e < 5; ++e) {
        b[2 * e] = static_cast<unsigned char>(puntos[e] & 0xFF);
        b[2 * e + 1] = static_cast<unsigned char>(puntos[e] >> 8);
    }
    std::memcpy(b + 10, nombres, sizeof nombres);
}

void de_bytes(const unsigned char (&b)[kBytes]) {
    for (int e = 0; e < 5; ++e) puntos[e] = static_cast<std::uint16_t>(b[2 * e] | b[2 * e + 1] << 8);
    std::memcpy(nombres, b + 10, sizeof nombres);
}

bool escribe_todo(int fd, const unsigned char* b, int n) {
    while (n > 0) {
        ssize_t hecho = ::write(fd, b, static_cast<std::size_t>(n));
        if (hecho <= 0) return false;
        b += hecho;
        n -= static_cast<int>(hecho);
    }
    return true;
}

// The new table goes to a file of its own, reaches the disk, and only then takes the old
// one's name: a failure at any point leaves the old max.pun as it was.
bool guarda() {
    unsigned char b[kBytes];
    a_bytes(b);
    int fd = ::open(kNuevo, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = escribe_todo(fd, b, kBytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(kNuevo, kFichero) == 0) return true;
    std::remove(kNuevo);
    return false;
}

void pide_nombre(std::int16_t s) {
    clear(0);
    puntos[4] = static_cast<std::uint16_t>(s);
    INK = 7;
    printc(10, 20, "ESTAS ENTRE LOS CINCO PRIMEROS");
    printc(10, 60, "ESCRIBE TU NOMBRE ");
    INK = 5;
    inputc(20, 100, "");
    for (int r = 0; r < 8; ++r) letra(r, 4) = 0;
    for (int r = 0; r < 8 && VARI[r] != 0; ++r) letra(r, 4) = static_cast<unsigned char>(VARI[r]);
    letra(7, 4) = 0;
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
    std::FILE* f = std::fopen(kFichero, "rb");
    if (f == nullptr) {
        aviso();
        return;
    }
    // A short file fills the table as far as it reaches; the rest keeps its value.
    unsigned char b[kBytes];
    a_bytes(b);
    (void)std::fread(b, 1, kBytes, f);
    std::fclose(f);
    de_bytes(b);
}

void puntuar(int score) {
    paleta();
    FONTX = 2;
    FONTY = 2;
    PAPER = 0;
    auto s = static_cast<std::int16_t>(score & 0xFFFF);
    if (s > puntos[4]) {
        pide_nombre(s);
        ordena();
        if (!guarda()) aviso();
    }
    muestra();
    waits(5);
}

}  // namespace brin
