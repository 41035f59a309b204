// SPDX-License-Identifier: MIT
// The virtual VGA shared by every back-end: screen memory seen through a 64 KiB bank
// window, the palette registers, the mouse and key queues, and the PC speaker ports.
#include "machine.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "packing.h"
#include "platform.h"
#include "recording.h"

namespace platform {

GraphicsContext currentcontext;

static_assert(machine::kLeftButton == MOUSE_LEFTBUTTON && machine::kMiddleButton == MOUSE_MIDDLEBUTTON &&
              machine::kRightButton == MOUSE_RIGHTBUTTON);

namespace {

// Screen memory is eight banks of plain memory. The window is 64 KiB at a fixed address
// with a guard page on each side, so that a walk past its ends faults instead of writing
// elsewhere. vga_setpage writes the window back into its bank and fills it from the new
// one: remapping pages would avoid the copies, but on virtual machines every remap costs
// page faults that are far dearer than copying 64 KiB twice.
alignas(4096) unsigned char banks[machine::kBanks][machine::kBankSize];
unsigned char* window = nullptr;
int mapped_page = 0;

int current_mode = TEXT;
bool line_reading = false;
unsigned char registers[machine::kPaletteBytes];
long palette_load_count = 0;
long screen_change_count = 0;
long bank_change_count[machine::kBanks] = {};
std::deque<std::uint8_t> keys;

struct Mouse {
    bool open = false;
    int device_x = 0, device_y = 0, device_buttons = 0;
    int x = 0, y = 0, buttons = 0;
    int xmin = 0, xmax = vga::kRight, ymin = 0, ymax = vga::kBottom;
} rat;

// Timer channel 2 and the speaker gate of port 0x61.
constexpr unsigned short kSystemPort = 0x61;  // bit 0 gates channel 2, bit 1 connects the speaker
constexpr unsigned char kSpeakerBits = 0x03;
constexpr unsigned short kTimerCommand = 0x43;
constexpr unsigned short kChannel2 = 0x42;
constexpr unsigned char kChannelField = 0xC0;     // which channel a control word is for
constexpr unsigned char kAccessField = 0x30;      // how its count is loaded
constexpr unsigned char kChannel2LowHigh = 0xB0;  // channel 2, low byte then high byte

struct Speaker {
    unsigned char port61 = 0;
    bool low_byte_next = true;
    unsigned char low = 0;
    bool loaded = false;
    int count = 0;
    int sounding = 0;
} speaker_state;

[[noreturn]] void fail(const char* what) {
    std::perror(what);
    std::abort();
}

void ensure_window() {
    if (window != nullptr) return;
    void* reserve = mmap(nullptr, 3 * machine::kBankSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (reserve == MAP_FAILED) fail("vga window");
    window = static_cast<unsigned char*>(reserve) + machine::kBankSize;
    if (mprotect(window, machine::kBankSize, PROT_READ | PROT_WRITE) != 0) fail("vga window");
    std::memcpy(window, banks[mapped_page], machine::kBankSize);
}

// What was written through the window goes back to its bank. Comparing first costs about
// what copying does, and tells whether the picture changed: the part of the bank that is
// shown, not the margin rows or the banks beyond.
void write_back() {
    unsigned char* bank = banks[mapped_page];
    int shown =
        std::clamp(machine::kWidth * machine::kHeight - mapped_page * machine::kBankSize, 0, machine::kBankSize);
    bool seen = std::memcmp(bank, window, shown) != 0;
    if (seen) {
        ++screen_change_count;
        ++bank_change_count[mapped_page];
    }
    if (seen || std::memcmp(bank + shown, window + shown, machine::kBankSize - shown) != 0)
        std::memcpy(bank, window, machine::kBankSize);
}

void update_speaker() {
    auto& s = speaker_state;
    int divisor = 0;
    if ((s.port61 & kSpeakerBits) == kSpeakerBits && s.loaded) divisor = s.count == 0 ? 65536 : s.count;
    if (divisor == s.sounding) return;
    s.sounding = divisor;
    if (recording::on) recording::speaker(divisor);
    machine::speaker(divisor);
}

int clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

// Multiplication modulo CRC-32's polynomial, bit-reflected as the CRC is: continuing a CRC
// over n more bytes multiplies what it had by x^(8n).
std::uint32_t times_mod_p(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
        if ((a & bit) != 0) product ^= b;
        b = (b & 1) != 0 ? (b >> 1) ^ 0xEDB88320u : b >> 1;
    }
    return product;
}

// The CRC-32 of a followed by b, from the CRC-32 of each and b's length.
std::uint32_t crc_of_both(std::uint32_t a, std::uint32_t b, std::size_t b_length) {
    std::uint32_t shift = 0x80000000u, square = 0x00800000u;  // x^0, x^8
    for (std::size_t n = b_length; n != 0; n >>= 1, square = times_mod_p(square, square))
        if ((n & 1) != 0) shift = times_mod_p(shift, square);
    return times_mod_p(shift, a) ^ b;
}

// Every poll passes here: a recording notes what the back-end answered, a replay answers
// from the recording instead.
void polled(machine::Poll what) {
    if (recording::on) recording::before_poll(what);
    machine::poll(what);
    if (recording::on) recording::after_poll(what, keys, rat.device_x, rat.device_y, rat.device_buttons);
}

timeval clock_reading() { return recording::on ? recording::reading() : machine::now(); }

}  // namespace

// ---- svgalib ----

int vga_setmode(int mode) {
    ensure_window();
    if (mode == G640x480x256) {
        if (!(recording::on ? recording::display_opened(machine::open_display) : machine::open_display())) return -1;
        current_mode = G640x480x256;
        vga_setpage(0);
        return 0;
    }
    if (current_mode != TEXT) machine::close_display();
    current_mode = TEXT;
    return 0;
}

int vga_getcurrentmode() { return current_mode; }

void vga_setpage(int page) {
    ensure_window();
    page &= machine::kBanks - 1;
    if (page == mapped_page) return;
    write_back();
    mapped_page = page;
    std::memcpy(window, banks[page], machine::kBankSize);
}

int vga_setpalvec(int start, int num, const int* pal) {
    ++palette_load_count;
    for (int i = 0; i < num * 3; ++i) {
        int at = start * 3 + i;
        if (at < 0 || at >= machine::kPaletteBytes) continue;
        auto level = static_cast<unsigned char>(pal[i] & 63);
        if (registers[at] != level) ++screen_change_count;
        registers[at] = level;
    }
    return num;
}

int gl_setcontextvga(int mode) {
    ensure_window();
    if (mode != G640x480x256) return -1;
    currentcontext = {machine::kWidth, machine::kHeight, window};
    return 0;
}

void gl_enableclipping() {}

void vga_setmousesupport(int) {}

int vga_getmousetype() { return 0; }

int mouse_init(const char*, int, int) {
    rat.open = recording::on ? recording::mouse_opened(machine::open_mouse_device) : machine::open_mouse_device();
    return rat.open ? 0 : -1;
}

void mouse_setxrange(int x1, int x2) {
    rat.xmin = x1;
    rat.xmax = x2;
}

void mouse_setyrange(int y1, int y2) {
    rat.ymin = y1;
    rat.ymax = y2;
}

void mouse_setposition(int x, int y) {
    rat.x = rat.device_x = clamp(x, rat.xmin, rat.xmax);
    rat.y = rat.device_y = clamp(y, rat.ymin, rat.ymax);
}

int mouse_update() {
    polled(machine::Poll::mouse);
    if (!rat.open) return 0;
    int x = clamp(rat.device_x, rat.xmin, rat.xmax);
    int y = clamp(rat.device_y, rat.ymin, rat.ymax);
    bool changed = x != rat.x || y != rat.y || rat.buttons != rat.device_buttons;
    rat.x = x;
    rat.y = y;
    rat.buttons = rat.device_buttons;
    return changed ? 1 : 0;
}

int mouse_getx() { return rat.x; }
int mouse_gety() { return rat.y; }
int mouse_getbutton() { return rat.buttons; }

int keyboard_init() { return 0; }

void keyboard_close() {}

void line_input(bool reading) { line_reading = reading; }

// ---- console ----

int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, timeval*) {
    polled(machine::Poll::keys);
    bool watched = readfds != nullptr && nfds > 0 && FD_ISSET(0, readfds);
    if (readfds != nullptr) FD_ZERO(readfds);
    if (writefds != nullptr) FD_ZERO(writefds);
    if (exceptfds != nullptr) FD_ZERO(exceptfds);
    if (!watched || keys.empty()) return 0;
    FD_SET(0, readfds);
    return 1;
}

ssize_t read(int fd, void* buf, std::size_t count) {
    if (fd != 0) return -1;
    auto* out = static_cast<std::uint8_t*>(buf);
    std::size_t n = 0;
    while (n < count && !keys.empty()) {
        out[n++] = keys.front();
        keys.pop_front();
    }
    return static_cast<ssize_t>(n);
}

// ---- clock ----

int gettimeofday(timeval* tv, void*) {
    polled(machine::Poll::clock);
    *tv = clock_reading();
    return 0;
}

std::time_t time(std::time_t* t) {
    polled(machine::Poll::seconds);
    std::time_t now = clock_reading().tv_sec;
    if (t != nullptr) *t = now;
    return now;
}

// ---- ports ----

unsigned char inb(unsigned short port) {
    unsigned char value = port == kSystemPort ? speaker_state.port61 : 0xFF;
    machine::port_access(port, value, false);
    return value;
}

void outb(unsigned char value, unsigned short port) {
    machine::port_access(port, value, true);
    auto& s = speaker_state;
    switch (port) {
    case kSystemPort:
        s.port61 = value;
        break;
    case kTimerCommand:
        // Only channel 2 with low-then-high loading concerns the speaker. A new control
        // word stops the counter until its count has been written.
        if ((value & (kChannelField | kAccessField)) == kChannel2LowHigh) {
            s.low_byte_next = true;
            s.loaded = false;
        }
        break;
    case kChannel2:
        if (s.low_byte_next) {
            s.low = value;
        } else {
            s.count = s.low | (value << 8);
            s.loaded = true;
        }
        s.low_byte_next = !s.low_byte_next;
        break;
    default:
        return;
    }
    update_speaker();
}

namespace machine {

const unsigned char* screen_memory() {
    ensure_window();
    write_back();
    return &banks[0][0];
}

const unsigned char* palette_registers() { return registers; }
long palette_loads() { return palette_load_count; }

long screen_changes() {
    ensure_window();
    write_back();
    return screen_change_count;
}

long bank_changes(int bank) { return bank_change_count[bank]; }

std::uint32_t rgb_of(unsigned char index) {
    const unsigned char* c = registers + 3 * index;
    return std::uint32_t{level8(c[0])} << 16 | std::uint32_t{level8(c[1])} << 8 | level8(c[2]);
}

void push_key(std::uint8_t byte) {
    if (recording::on && !recording::take_key(byte)) return;
    keys.push_back(byte);
}
void player_key(std::uint8_t byte) {
    if (replaying() && byte == kEscapeKey) end_replay();
    push_key(byte);
}
bool key_waiting() { return !keys.empty(); }
bool line_being_read() { return line_reading; }

void mouse_device(int x, int y, int buttons) {
    if (recording::on && recording::replaying()) return;
    rat.device_x = x;
    rat.device_y = y;
    rat.device_buttons = buttons & 7;
}

void reset() {
    ensure_window();
    std::memset(banks, 0, sizeof banks);
    std::memset(window, 0, kBankSize);
    std::memset(registers, 0, sizeof registers);
    palette_load_count = 0;
    ++screen_change_count;
    for (long& count : bank_change_count) ++count;
    mapped_page = 0;
    current_mode = TEXT;
    line_reading = false;
    currentcontext = {};
    keys.clear();
    rat = Mouse{};
    speaker_state = Speaker{};
}

void end_program(int status) {
    keyboard_close();
    vga_setmode(TEXT);
    std::exit(status);
}

void end_replay() {
    recording::stop_replay();
    end_program(0);
}

void frame_shown() {
    if (recording::on) recording::frame_shown();
}

// Each bank's digest is kept until the bank changes: a frame mostly changes one or two, and
// digesting all five each frame would cost a window more than the rest of recording together.
std::uint32_t frame_crc() {
    static long digested[kScreenBanks] = {-1, -1, -1, -1, -1};
    static std::uint32_t digest_of[kScreenBanks];
    const unsigned char* screen = screen_memory();  // what the window holds written back first
    std::uint32_t c = 0;
    for (int b = 0; b < kScreenBanks; ++b) {
        auto length = static_cast<std::size_t>(std::min(kBankSize, kWidth * kHeight - b * kBankSize));
        if (bank_changes(b) != digested[b]) {
            digest_of[b] = recording::crc32_of(0, screen + std::size_t{kBankSize} * b, length);
            digested[b] = bank_changes(b);
        }
        c = crc_of_both(c, digest_of[b], length);
    }
    return recording::crc32_of(c, palette_registers(), kPaletteBytes);
}
bool replaying() { return recording::on && recording::replaying(); }
std::int64_t replayed_us() { return recording::replayed_us(); }

}  // namespace machine

}  // namespace platform
