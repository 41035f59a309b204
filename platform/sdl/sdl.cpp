// The window back-end: the virtual VGA shown in an SDL window, its keyboard and mouse as
// the console's key bytes and the mouse device, the speaker through SDL audio. All of it
// but the audio callback runs on the main thread, inside the game's own clock reads and
// polls: there the window's events are taken in and a frame is shown when one is due.
#include <SDL.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../machine.h"
#include "../platform.h"
#include "../sound.h"

namespace platform {
namespace {

namespace sound = platform::sound;
using machine::kHeight;
using machine::kWidth;

// ---- time ----

std::int64_t steady_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

void sleep_us(std::int64_t us) {
    timespec ts{0, static_cast<long>(us * 1000)};
    nanosleep(&ts, nullptr);
}

// ---- ending ----

volatile std::sig_atomic_t quit_signalled = 0;
bool quit_asked = false;

extern "C" void on_quit_signal(int) { quit_signalled = 1; }

void catch_quit_signals() {
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// As Escape in a level: back to text mode, status 0.
[[noreturn]] void leave() {
    keyboard_close();
    vga_setmode(TEXT);
    std::exit(0);
}

// ---- the picture ----

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
std::int64_t frame_us = 16667;  // one display refresh
std::int64_t last_frame_us = 0;
// Waits for the next frame may end up to a millisecond late, so frames fall due that early.
constexpr std::int64_t kWaitLateUs = 1000;
std::int64_t frame_due_us() { return last_frame_us + frame_us - kWaitLateUs; }
bool redraw = true;  // the window lost its contents or changed size
unsigned char shown_screen[kWidth * kHeight];
unsigned char shown_palette[768];
std::uint32_t pixels[kWidth * kHeight];

// Where the 4:3 picture lies in a w x h area: the largest whole multiple of 640x480 that
// fits, or scaled down to fit when not even one does; the rest is black bars.
SDL_Rect fit(int w, int h) {
    double scale = std::min(w / double{kWidth}, h / double{kHeight});
    if (scale >= 1) scale = std::floor(scale);
    int pw = static_cast<int>(std::lround(kWidth * scale));
    int ph = static_cast<int>(std::lround(kHeight * scale));
    return {(w - pw) / 2, (h - ph) / 2, pw, ph};
}

bool screen_changed() {
    const unsigned char* screen = machine::screen_memory();
    const unsigned char* palette = machine::palette_registers();
    bool changed = std::memcmp(screen, shown_screen, sizeof shown_screen) != 0 ||
                   std::memcmp(palette, shown_palette, sizeof shown_palette) != 0;
    if (changed) {
        std::memcpy(shown_screen, screen, sizeof shown_screen);
        std::memcpy(shown_palette, palette, sizeof shown_palette);
    }
    return changed;
}

void present() {
    if (!screen_changed() && !redraw) return;
    redraw = false;
    std::uint32_t colour[256];
    for (int i = 0; i < 256; ++i) colour[i] = 0xFF000000u | machine::rgb_of(static_cast<unsigned char>(i));
    for (int i = 0; i < kWidth * kHeight; ++i) pixels[i] = colour[shown_screen[i]];
    SDL_UpdateTexture(texture, nullptr, pixels, kWidth * 4);
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer, &w, &h);
    SDL_Rect place = fit(w, h);
    bool whole = place.w % kWidth == 0;
    SDL_SetTextureScaleMode(texture, whole ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, &place);
    SDL_RenderPresent(renderer);
}

void toggle_full_screen() {
    bool full = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    SDL_SetWindowFullscreen(window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    redraw = true;
}

// The first window: the largest whole multiple of 640x480 that leaves room on the desktop.
void initial_size(int& w, int& h) {
    SDL_Rect desk{0, 0, kWidth, kHeight};
    SDL_GetDisplayUsableBounds(0, &desk);
    int scale = std::max(1, std::min(desk.w * 9 / 10 / kWidth, desk.h * 9 / 10 / kHeight));
    w = kWidth * scale;
    h = kHeight * scale;
}

// ---- keyboard ----

// Console key numbers by physical key.
struct KeyNumber {
    SDL_Scancode scancode;
    std::uint8_t number;
};
constexpr KeyNumber kKeyNumbers[] = {
    {SDL_SCANCODE_ESCAPE, 1},        {SDL_SCANCODE_1, 2},           {SDL_SCANCODE_2, 3},
    {SDL_SCANCODE_3, 4},             {SDL_SCANCODE_4, 5},           {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},             {SDL_SCANCODE_7, 8},           {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10},            {SDL_SCANCODE_0, 11},          {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},       {SDL_SCANCODE_BACKSPACE, 14},  {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_Q, 16},            {SDL_SCANCODE_W, 17},          {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_R, 19},            {SDL_SCANCODE_T, 20},          {SDL_SCANCODE_Y, 21},
    {SDL_SCANCODE_U, 22},            {SDL_SCANCODE_I, 23},          {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},            {SDL_SCANCODE_LEFTBRACKET, 26}, {SDL_SCANCODE_RIGHTBRACKET, 27},
    {SDL_SCANCODE_RETURN, 28},       {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_S, 31},            {SDL_SCANCODE_D, 32},          {SDL_SCANCODE_F, 33},
    {SDL_SCANCODE_G, 34},            {SDL_SCANCODE_H, 35},          {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},            {SDL_SCANCODE_L, 38},          {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40},   {SDL_SCANCODE_GRAVE, 41},      {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_BACKSLASH, 43},    {SDL_SCANCODE_NONUSHASH, 43},  {SDL_SCANCODE_Z, 44},
    {SDL_SCANCODE_X, 45},            {SDL_SCANCODE_C, 46},          {SDL_SCANCODE_V, 47},
    {SDL_SCANCODE_B, 48},            {SDL_SCANCODE_N, 49},          {SDL_SCANCODE_M, 50},
    {SDL_SCANCODE_COMMA, 51},        {SDL_SCANCODE_PERIOD, 52},     {SDL_SCANCODE_SLASH, 53},
    {SDL_SCANCODE_RSHIFT, 54},       {SDL_SCANCODE_KP_MULTIPLY, 55}, {SDL_SCANCODE_LALT, 56},
    {SDL_SCANCODE_SPACE, 57},        {SDL_SCANCODE_CAPSLOCK, 58},   {SDL_SCANCODE_F1, 59},
    {SDL_SCANCODE_F2, 60},           {SDL_SCANCODE_F3, 61},         {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63},           {SDL_SCANCODE_F6, 64},         {SDL_SCANCODE_F7, 65},
    {SDL_SCANCODE_F8, 66},           {SDL_SCANCODE_F9, 67},         {SDL_SCANCODE_F10, 68},
    {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_SCROLLLOCK, 70}, {SDL_SCANCODE_KP_7, 71},
    {SDL_SCANCODE_KP_8, 72},         {SDL_SCANCODE_KP_9, 73},       {SDL_SCANCODE_KP_MINUS, 74},
    {SDL_SCANCODE_KP_4, 75},         {SDL_SCANCODE_KP_5, 76},       {SDL_SCANCODE_KP_6, 77},
    {SDL_SCANCODE_KP_PLUS, 78},      {SDL_SCANCODE_KP_1, 79},       {SDL_SCANCODE_KP_2, 80},
    {SDL_SCANCODE_KP_3, 81},         {SDL_SCANCODE_KP_0, 82},       {SDL_SCANCODE_KP_PERIOD, 83},
    {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_F11, 87},      {SDL_SCANCODE_F12, 88},
    {SDL_SCANCODE_KP_ENTER, 96},     {SDL_SCANCODE_RCTRL, 97},      {SDL_SCANCODE_KP_DIVIDE, 98},
    {SDL_SCANCODE_RALT, 100},        {SDL_SCANCODE_HOME, 102},      {SDL_SCANCODE_UP, 103},
    {SDL_SCANCODE_PAGEUP, 104},      {SDL_SCANCODE_LEFT, 105},      {SDL_SCANCODE_RIGHT, 106},
    {SDL_SCANCODE_END, 107},         {SDL_SCANCODE_DOWN, 108},      {SDL_SCANCODE_PAGEDOWN, 109},
    {SDL_SCANCODE_INSERT, 110},      {SDL_SCANCODE_DELETE, 111},
};

bool held[128];
bool enter_taken = false;  // the Enter of Alt+Enter: its release is not the game's either

int key_number(SDL_Scancode scancode) {
    for (const KeyNumber& k : kKeyNumbers)
        if (k.scancode == scancode) return k.number;
    return 0;
}

void key_event(const SDL_KeyboardEvent& key) {
    bool down = key.type == SDL_KEYDOWN;
    if (key.keysym.scancode == SDL_SCANCODE_RETURN && (down ? (key.keysym.mod & KMOD_ALT) != 0 : enter_taken)) {
        if (down && key.repeat == 0) toggle_full_screen();
        enter_taken = down;
        return;
    }
    int n = key_number(key.keysym.scancode);
    if (n == 0) return;
    if (down) {
        held[n] = true;
        machine::push_key(static_cast<std::uint8_t>(n));  // a repeat is another press
    } else if (held[n]) {
        held[n] = false;
        machine::push_key(static_cast<std::uint8_t>(n | 0x80));
    }
}

// Keys held when the window loses the keyboard would never see their release.
void release_held_keys() {
    for (int n = 0; n < 128; ++n) {
        if (!held[n]) continue;
        held[n] = false;
        machine::push_key(static_cast<std::uint8_t>(n | 0x80));
    }
    enter_taken = false;
}

// ---- mouse ----

int mouse_x = kWidth / 2, mouse_y = kHeight / 2, mouse_buttons = 0;

// A window position as a picture position, whatever the window's size. Outside the
// picture it lies beyond the edges, where the mouse ranges clamp it.
void pointer_at(int wx, int wy) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    SDL_Rect place = fit(w, h);
    mouse_x = static_cast<int>(std::floor((wx - place.x) * double{kWidth} / place.w));
    mouse_y = static_cast<int>(std::floor((wy - place.y) * double{kHeight} / place.h));
    bool over = mouse_x >= 0 && mouse_x < kWidth && mouse_y >= 0 && mouse_y < kHeight;
    SDL_ShowCursor(over ? SDL_DISABLE : SDL_ENABLE);  // the game draws its own
    machine::mouse_device(mouse_x, mouse_y, mouse_buttons);
}

void button_event(const SDL_MouseButtonEvent& b) {
    int bit = b.button == SDL_BUTTON_LEFT ? 4 : b.button == SDL_BUTTON_MIDDLE ? 2 : b.button == SDL_BUTTON_RIGHT ? 1 : 0;
    mouse_buttons = b.state == SDL_PRESSED ? mouse_buttons | bit : mouse_buttons & ~bit;
    pointer_at(b.x, b.y);
}

// ---- events ----

// A click can be quicker than a pass of the game: once a button changes, the mouse's events
// after it wait until the game has polled the mouse, or for a while if it doesn't (outside
// a level a click is not looked at). Keys and window events go on meanwhile.
constexpr std::int64_t kClickHoldUs = 250000;
bool click_unseen = false;
std::int64_t click_us = 0;
bool mouse_polled = false;

void window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
        release_held_keys();
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
        redraw = true;
        break;
    default:
        break;
    }
}

void take_event(const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        quit_asked = true;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        key_event(e.key);
        break;
    case SDL_MOUSEMOTION:
        pointer_at(e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        button_event(e.button);
        click_unseen = true;
        click_us = steady_us();
        break;
    case SDL_WINDOWEVENT:
        window_event(e.window);
        break;
    default:
        break;
    }
}

bool next_event(SDL_Event& e) {
    if (click_unseen && steady_us() - click_us < kClickHoldUs)
        return SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_MOUSEMOTION - 1) == 1;
    click_unseen = false;
    return SDL_PollEvent(&e) != 0;
}

// Takes in every waiting event; true when there was any.
bool pump_events() {
    SDL_PumpEvents();
    bool any = false;
    SDL_Event e;
    while (next_event(e)) {
        any = true;
        take_event(e);
    }
    return any;
}

// ---- keeping cool ----

std::int64_t last_centisecond = -1;

// A poll that finds no input in the same centisecond as the poll before it is the game
// spinning on the clock: nothing can change before the next centisecond, the next frame or
// the next event. So wait for the first of them, on the window's events: an event ends the
// wait at once, and the others are at most the rest of a millisecond late.
void rest_if_idle(bool input) {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    std::int64_t centisecond = std::int64_t{tv.tv_sec} * 100 + tv.tv_usec / 10000;
    bool idle = !input && centisecond == last_centisecond;
    last_centisecond = centisecond;
    if (!idle) return;
    std::int64_t until_centisecond = 10000 - tv.tv_usec % 10000;
    std::int64_t until_frame = frame_due_us() - steady_us();
    std::int64_t rest = std::min(until_centisecond, until_frame);
    if (rest <= 0) return;
    SDL_Event e;
    if (click_unseen)  // the mouse's events wait for the game's mouse poll
        sleep_us(std::min<std::int64_t>(rest, 1000));
    else if (SDL_WaitEventTimeout(&e, static_cast<int>((rest + 999) / 1000)) != 0)
        take_event(e);
}

// ---- sound ----

// The speaker's changes go from the main thread to the audio callback through a
// single-producer, single-consumer ring, stamped with the time they were made. The
// callback places each at its sample within the block it renders, so tones keep their
// lengths whatever the block size; the blocks trail real time by a little.
constexpr std::int64_t kLagUs = 1000;
constexpr std::int64_t kResyncUs = 20000;
constexpr unsigned kRing = 1024;

struct Stamped {
    std::int64_t us;
    int divisor;
};
Stamped ring[kRing];
std::atomic<unsigned> ring_in{0}, ring_out{0};
std::atomic<int> latest_divisor{0};
std::atomic<bool> ring_overflowed{false};

SDL_AudioDeviceID audio = 0;
sound::Voice voice;           // the callback's own from the start of playback
double block_start_us = 0;    // steady time the next block begins at
bool blocks_timed = false;

void fill_audio(void*, Uint8* stream, int bytes) {
    auto* out = reinterpret_cast<float*>(stream);
    int n = bytes / static_cast<int>(sizeof(float));
    double block_us = n * 1e6 / voice.rate;
    // Follow the clock the callbacks come by, smoothing their jitter, jumping when far off.
    double due = static_cast<double>(steady_us() - kLagUs) - block_us;
    double off = due - block_start_us;
    block_start_us = !blocks_timed || std::fabs(off) > kResyncUs ? due : block_start_us + off / 16;
    blocks_timed = true;
    int done = 0;
    for (;;) {
        unsigned next = ring_out.load(std::memory_order_relaxed);
        if (next == ring_in.load(std::memory_order_acquire)) {
            // A change lost to a full ring must not leave a tone sounding for ever.
            if (ring_overflowed.exchange(false)) sound::set_divisor(voice, latest_divisor.load());
            break;
        }
        const Stamped& change = ring[next % kRing];
        double at = (static_cast<double>(change.us) - block_start_us) * voice.rate / 1e6;
        if (at >= n) break;
        int sample = std::clamp(static_cast<int>(at), done, n);
        sound::render(voice, out + done, sample - done);
        done = sample;
        sound::set_divisor(voice, change.divisor);
        ring_out.store(next + 1, std::memory_order_release);
    }
    sound::render(voice, out + done, n - done);
    block_start_us += block_us;
}

void open_audio() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = 256;  // about 5 ms
    want.callback = fill_audio;
    SDL_AudioSpec have{};
    audio = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (audio == 0) return;  // no sound card: the game plays silent
    ring_out.store(ring_in.load());  // nothing left over from an earlier device
    blocks_timed = false;
    sound::start(voice, have.freq);
    SDL_PauseAudioDevice(audio, 0);
}

}  // namespace

// ---- the hooks of the shared machine ----

namespace machine {

void poll(Poll what) {
    if (quit_signalled != 0) quit_asked = true;
    if (window == nullptr) return;
    // The game reads the mouse right after a mouse poll: by the next poll it has seen it.
    if (mouse_polled) click_unseen = false;
    mouse_polled = what == Poll::mouse;
    bool input = pump_events();
    // Only here, never while the game writes a file, does a request to end take effect.
    if (quit_asked) leave();
    std::int64_t t = steady_us();
    if (t >= frame_due_us()) {
        last_frame_us = t;
        present();
    }
    rest_if_idle(input);
}

timeval now() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    return tv;
}

bool open_display() {
    catch_quit_signals();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "brin: no window: %s\n", SDL_GetError());
        return false;
    }
    // Without a display SDL falls back on drivers that show nothing; only a test asks for those.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool invisible = driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && std::getenv("SDL_VIDEODRIVER") == nullptr) {
        std::fprintf(stderr, "brin: no window: no display\n");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    int w = 0, h = 0;
    initial_size(w, h);
    window = SDL_CreateWindow("brin", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, SDL_WINDOW_RESIZABLE);
    renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight)
                       : nullptr;
    if (texture == nullptr) {
        std::fprintf(stderr, "brin: no window: %s\n", SDL_GetError());
        close_display();
        return false;
    }
    SDL_DisplayMode mode{};
    if (SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0) frame_us = 1000000 / mode.refresh_rate;
    SDL_ShowCursor(SDL_DISABLE);
    redraw = true;
    last_frame_us = steady_us() - frame_us;
    open_audio();
    return true;
}

void close_display() {
    if (audio != 0) SDL_CloseAudioDevice(audio);
    audio = 0;
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
    SDL_Quit();
}

bool open_mouse_device() { return true; }  // the pointer of whatever window there is

void speaker(int divisor) {
    if (audio == 0) return;
    latest_divisor.store(divisor);
    unsigned next = ring_in.load(std::memory_order_relaxed);
    if (next - ring_out.load(std::memory_order_acquire) == kRing) {  // the callback has stalled
        ring_overflowed.store(true);
        return;
    }
    ring[next % kRing] = {steady_us(), divisor};
    ring_in.store(next + 1, std::memory_order_release);
}

void port_access(unsigned short, unsigned char, bool) {}

}  // namespace machine
}  // namespace platform
