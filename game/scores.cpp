// SPDX-License-Identifier: MIT
// The five best totals with their names, kept in max.pun.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "brin.h"
#include "vora256.h"

namespace brin {

using namespace vora256;

std::uint16_t puntos[6] = {};
unsigned char nombres[48] = {};

namespace {

constexpr const char* kFichero = "max.pun";
constexpr int kBytes = 58;  // five 16-bit scores, then 8 character rows of 6 columns
constexpr int kSwap = 5;     // the column and score used while swapping two entries
// Another game saving the same table holds the lock for milliseconds; one that is stopped
// is waited for this many times 10 ms, and then the save fails as an unwritable file does.
constexpr int kLockTries = 500;

// The table as this game last read it from the file or wrote it there. A file that differs
// from it was saved by another game meanwhile.
unsigned char conocida[kBytes] = {};

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

// ---- where the table is kept, and its lock ----

struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int n) : fd(n) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// max.pun, or the file it links to: a table shared through a link is saved where it is.
// Empty when max.pun is a link to nothing or can't be looked at.
std::string donde_esta() {
    struct stat st {};
    if (::lstat(kFichero, &st) != 0) return errno == ENOENT ? kFichero : "";
    if (!S_ISLNK(st.st_mode)) return kFichero;
    char* destino = ::realpath(kFichero, nullptr);
    if (destino == nullptr) return "";
    std::string ruta = destino;
    std::free(destino);
    return ruta;
}

// A descriptor of a regular file, or -1 (closing it) for anything else.
int solo_fichero(int fd) {
    struct stat st {};
    if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))) return fd;
    ::close(fd);
    errno = EINVAL;
    return -1;
}

// The lock file beside the table: taking it lets one game at a time read and replace the
// table. -1 where it can't be made.
int abre_cerrojo(const std::string& ruta) {
    return solo_fichero(::open((ruta + ".lock").c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                               0644));
}

bool echa_cerrojo(int fd) {
    for (int vez = 0; vez < kLockTries; ++vez) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        timespec diez_ms{0, 10000000};
        ::nanosleep(&diez_ms, nullptr);
    }
    return false;
}

// The table for reading and writing. -1 with errno ENOENT when there is none yet; anything
// but a regular file the player may write counts as a table that can't be written.
int abre_tabla(const std::string& ruta) {
    return solo_fichero(::open(ruta.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

// Without a lock file the table itself is locked; it must still be the file under its name.
bool cerrojo_en_la_tabla(int tabla, const std::string& ruta) {
    struct stat abierta {}, nombrada {};
    return echa_cerrojo(tabla) && ::fstat(tabla, &abierta) == 0 && ::stat(ruta.c_str(), &nombrada) == 0 &&
           abierta.st_dev == nombrada.st_dev && abierta.st_ino == nombrada.st_ino;
}

// The first 58 bytes of the table, zero where it is shorter, as the start-up reads them.
bool lee_tabla(int fd, unsigned char (&b)[kBytes]) {
    std::memset(b, 0, kBytes);
    for (int hecho = 0; hecho < kBytes;) {
        ssize_t n = ::pread(fd, b + hecho, static_cast<std::size_t>(kBytes - hecho), hecho);
        if (n < 0) return false;
        if (n == 0) break;
        hecho += static_cast<int>(n);
    }
    return true;
}

// ---- writing it ----

enum class Escrito { si, no, sin_sitio };  // sin_sitio: no new file can be made beside it

// A file of its own for the new table, beside the old one: never an existing name, never a
// link followed, so a stale or planted file is left alone.
int crea_temporal(const std::string& ruta, std::string& nombre) {
    static unsigned serie = 0;
    for (int vez = 0; vez < 100; ++vez) {
        nombre = ruta + ".new." + std::to_string(::getpid()) + "." + std::to_string(serie++);
        int fd = ::open(nombre.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool sin_sitio(int error) { return error == EACCES || error == EPERM || error == ENOSPC || error == EDQUOT; }

// The new file takes the old one's mode, owner and group.
bool como_la_vieja(int nuevo, int vieja) {
    struct stat st {};
    return ::fstat(vieja, &st) == 0 && ::fchown(nuevo, st.st_uid, st.st_gid) == 0 && ::fchmod(nuevo, st.st_mode & 07777) == 0;
}

void sincroniza_carpeta(const std::string& ruta) {
    std::size_t barra = ruta.rfind('/');
    std::string carpeta = barra == std::string::npos ? "." : barra == 0 ? "/" : ruta.substr(0, barra);
    Descriptor d(::open(carpeta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd >= 0) ::fsync(d.fd);
}

// The new table goes to a file of its own, reaches the disk, and only then takes the old
// one's name: a failure at any point leaves the old table as it was.
Escrito por_fichero_nuevo(const std::string& ruta, int vieja, const unsigned char (&b)[kBytes]) {
    std::string nombre;
    Descriptor nuevo(crea_temporal(ruta, nombre));
    if (nuevo.fd < 0) return sin_sitio(errno) ? Escrito::sin_sitio : Escrito::no;
    if (vieja >= 0 && !como_la_vieja(nuevo.fd, vieja)) {
        ::unlink(nombre.c_str());
        return Escrito::sin_sitio;  // a file of ours would take the table from its owner
    }
    bool ok = escribe_todo(nuevo.fd, b, kBytes) && ::fsync(nuevo.fd) == 0;
    ok = ::close(nuevo.fd) == 0 && ok;
    nuevo.fd = -1;
    if (ok && std::rename(nombre.c_str(), ruta.c_str()) == 0) {
        sincroniza_carpeta(ruta);
        return Escrito::si;
    }
    ::unlink(nombre.c_str());
    return Escrito::no;
}

// The table rewritten where it is, for a folder that takes no new file or a table with
// other names: one write, then to the disk. A write that fails puts the old bytes back.
bool en_su_sitio(int vieja, const unsigned char (&b)[kBytes], const unsigned char (&antes)[kBytes]) {
    struct stat st {};
    if (::fstat(vieja, &st) != 0) return false;
    if (::pwrite(vieja, b, kBytes, 0) == kBytes && (st.st_size <= kBytes || ::ftruncate(vieja, kBytes) == 0) &&
        ::fsync(vieja) == 0)
        return true;
    (void)::pwrite(vieja, antes, static_cast<std::size_t>(std::min<off_t>(st.st_size, kBytes)), 0);
    (void)::ftruncate(vieja, st.st_size);
    return false;
}

// ---- the new entry ----

struct Entrada {
    std::uint16_t puntos;
    unsigned char nombre[8];
};

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

bool varios_nombres(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_nlink > 1;
}

bool escribe(const std::string& ruta, int vieja, const unsigned char (&b)[kBytes], const unsigned char (&antes)[kBytes]) {
    Escrito e = vieja >= 0 && varios_nombres(vieja) ? Escrito::sin_sitio : por_fichero_nuevo(ruta, vieja, b);
    if (e == Escrito::sin_sitio && vieja >= 0) return en_su_sitio(vieja, b, antes);
    return e == Escrito::si;
}

// Saves the table, one game at a time. A table another game saved meanwhile is taken as it
// is on disk, with this game's entry placed into it by the same rule: that is what is
// written, and what is shown.
bool guarda(const Entrada& nueva) {
    std::string ruta = donde_esta();
    if (ruta.empty()) return false;
    Descriptor cerrojo(abre_cerrojo(ruta));
    if (cerrojo.fd >= 0 && !echa_cerrojo(cerrojo.fd)) return false;
    Descriptor vieja(abre_tabla(ruta));
    if (vieja.fd < 0 && errno != ENOENT) return false;
    if (cerrojo.fd < 0 && (vieja.fd < 0 || !cerrojo_en_la_tabla(vieja.fd, ruta))) return false;
    unsigned char disco[kBytes] = {};
    if (vieja.fd >= 0 && !lee_tabla(vieja.fd, disco)) return false;
    if (std::memcmp(disco, conocida, kBytes) != 0) {
        std::memcpy(conocida, disco, kBytes);
        de_bytes(disco);
        coloca(nueva);
    }
    unsigned char b[kBytes];
    a_bytes(b);
    if (!escribe(ruta, vieja.fd, b, disco)) return false;
    std::memcpy(conocida, b, kBytes);
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
    std::FILE* f = abre_datos(kFichero);
    if (f == nullptr) {
        a_bytes(conocida);
        aviso();
        return;
    }
    // A short file fills the table as far as it reaches; the rest keeps its value.
    unsigned char b[kBytes];
    a_bytes(b);
    (void)std::fread(b, 1, kBytes, f);
    std::fclose(f);
    de_bytes(b);
    std::memcpy(conocida, b, kBytes);
}

void puntuar(int score) {
    paleta();
    FONTX = 2;
    FONTY = 2;
    PAPER = 0;
    auto s = static_cast<std::int16_t>(score & 0xFFFF);
    if (s > puntos[4]) {
        Entrada nueva = pide_nombre(s);
        coloca(nueva);
        if (!guarda(nueva)) aviso();
    }
    muestra();
    waits(5);
}

}  // namespace brin
