// SPDX-License-Identifier: MIT
// Clock, delays and tones.
#include "platform.h"
#include "vora256.h"

namespace vora256 {

int SPEED = 0;

namespace {

constexpr unsigned kClockSpan = 4096 * 100;  // the centisecond clock counts 0 to 409,599
constexpr int kEsperaLimit = 250;

// Centiseconds from one reading to a later one, across the clock's drop to 0.
unsigned since(unsigned earlier, unsigned later) {
    return (later + kClockSpan - earlier) % kClockSpan;
}

// Spins until `length` centiseconds have passed since the reading `last`, of which
// `passed` are already counted. Summing the steps keeps any length right across drops.
// The clock is read at least once, even when no time remains, as the original loop did.
void spin(unsigned last, unsigned long long passed, unsigned long long length) {
    do {
        unsigned now = Ctime();
        passed += since(last, now);
        last = now;
    } while (passed < length);
}

}  // namespace

unsigned Ctime() {
    timeval tv{};
    platform::gettimeofday(&tv, nullptr);
    return static_cast<unsigned>(tv.tv_sec & 0xFFF) * 100 + static_cast<unsigned>(tv.tv_usec) / 10000;
}

std::time_t time(std::time_t* t) { return platform::time(t); }

void espera(int n) {
    unsigned start = Ctime();
    unsigned length = 4u * static_cast<unsigned>(n);  // a negative count wraps above the limit
    unsigned now = Ctime();
    unsigned passed = since(start, now);
    if (length - passed > kEsperaLimit) return;
    spin(now, passed, length);
}

void waits(int n) {
    if (n < 0) return;
    unsigned start = Ctime();
    spin(start, 0, 100ull * static_cast<unsigned>(n));
}

void velocidad() {
    printc(0, 0, "ESPERA UN MOMENTO");
    std::time_t t = time(nullptr);
    while (time(nullptr) == t) {
    }
    t = time(nullptr);
    int count = 0;
    while (time(nullptr) == t) ++count;
    SPEED = count / 1000;
}

void sonido(int divisor, int n) {
    Sbeep(divisor & 0xFFFF);
    espera(n);
    Sbeep(0);
}

void Sbeep(int divisor) {
    int d = divisor & 0xFFFF;
    int v = inportb(0x61);
    if (d == 0) {
        outportb(0x61, v & 0xFC);
        return;
    }
    outportb(0x61, v | 0x03);
    outportb(0x43, 0xB6);
    outportb(0x42, d & 0xFF);
    outportb(0x42, d >> 8);
}

int inportb(int port) { return platform::inb(static_cast<unsigned short>(port & 0xFFFF)); }

void outportb(int port, int value) {
    platform::outb(static_cast<unsigned char>(value & 0xFF), static_cast<unsigned short>(port & 0xFFFF));
}

}  // namespace vora256
