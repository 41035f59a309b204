// SPDX-License-Identifier: MIT
// The speaker through SDL audio. The only threaded code of the window: the speaker's changes
// go from the main thread to the audio callback through a single-producer, single-consumer
// ring, stamped with the time they were made. The callback places each at its sample within
// the block it renders, so tones keep their lengths whatever the block size; the blocks
// trail real time by a little. SDL's audio thread wakes for every block even while paused,
// so after half a second of silence the device is closed, and opened again by the next
// tone: opening takes about a millisecond, and the blocks then trail by that much more.
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "machine.h"
#include "sdl.h"
#include "sound.h"

namespace sdl {
namespace {

namespace machine = platform::machine;

namespace sound = platform::sound;

constexpr std::int64_t kLagUs = 1000;
constexpr std::int64_t kResyncUs = 20000;
constexpr unsigned kRing = 1024;
constexpr std::int64_t kSilenceUs = 500000;  // silent this long, the device is closed
constexpr double kBurstUs = 250000;          // a new device's blocks come unevenly this long

struct Stamped {
    std::int64_t us;
    int divisor;
};
Stamped ring[kRing];
std::atomic<unsigned> ring_in{0}, ring_out{0};
std::atomic<int> latest_divisor{0};
std::atomic<bool> ring_overflowed{false};

SDL_AudioDeviceID audio = 0;
float gain = 1;             // the player's volume, squared: 50 sounds about half as loud as 100
bool audio_usable = false;  // a device could be opened: the game is not silent
std::int64_t silent_since_us = 0;
sound::Voice voice;         // the callback's own from the start of playback
double block_start_us = 0;  // steady time the next block begins at
bool blocks_timed = false;
double lag_us = kLagUs;  // how far the blocks trail; more when opening delayed the first
double opened_us = 0;    // when the device took its first block

void fill_audio(void*, Uint8* stream, int bytes) {
    auto* out = reinterpret_cast<float*>(stream);
    int n = bytes / static_cast<int>(sizeof(float));
    double block_us = n * 1e6 / voice.rate;
    auto now_us = static_cast<double>(machine::steady_us());
    if (!blocks_timed) {
        // The tone that opened the device starts in the first block, whole.
        unsigned first = ring_out.load(std::memory_order_relaxed);
        bool waiting = first != ring_in.load(std::memory_order_acquire);
        lag_us = waiting ? std::max<double>(kLagUs, now_us - block_us - static_cast<double>(ring[first % kRing].us))
                         : kLagUs;
    }
    // Follow the clock the callbacks come by, smoothing their jitter, jumping when far off;
    // but a device just opened takes its first blocks in a burst, and they play one after
    // the other from the first.
    double due = now_us - lag_us - block_us;
    double off = due - block_start_us;
    if (!blocks_timed) {
        block_start_us = due;
        opened_us = now_us;
    } else if (now_us - opened_us > kBurstUs) {
        block_start_us = std::fabs(off) > kResyncUs ? due : block_start_us + off / 16;
    }
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
    for (int i = 0; i < n; ++i) out[i] *= gain;
    block_start_us += block_us;
}

// Without a sound card ALSA's library prints a screenful of its own errors while SDL looks
// for one; the game plays silent, and that is all the player needs. SDL loads the library
// by the same name, so the handler set here is the one it uses.
extern "C" void alsa_says_nothing(const char*, int, const char*, int, const char*, ...) {}

void quiet_alsa() {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);  // kept open for SDL
    if (alsa == nullptr) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto set_handler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (set_handler != nullptr) set_handler(alsa_says_nothing);
}

SDL_AudioSpec wanted{};

bool open_device() {
    SDL_AudioSpec have{};
    audio = SDL_OpenAudioDevice(nullptr, 0, &wanted, &have,
                                SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (audio == 0) return false;
    ring_out.store(ring_in.load());  // nothing left over from an earlier device
    blocks_timed = false;
    sound::start(voice, have.freq);
    return true;
}

void close_device() {
    if (audio != 0) SDL_CloseAudioDevice(audio);
    audio = 0;
}

}  // namespace

void open_audio() {
    const Settings& s = settings();
    if (s.mute || s.volume == 0) return;
    gain = static_cast<float>(s.volume * s.volume) / 10000;
    quiet_alsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    wanted.freq = 48000;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 1;
    wanted.samples = 256;  // about 5 ms
    wanted.callback = fill_audio;
    audio_usable = open_device();  // no sound card: the game plays silent
    if (audio_usable) SDL_PauseAudioDevice(audio, 0);
    silent_since_us = machine::steady_us();
}

void close_audio() {
    close_device();
    audio_usable = false;
}

void rest_audio_if_silent(std::int64_t now_us) {
    if (audio != 0 && silent_since_us != 0 && now_us - silent_since_us >= kSilenceUs) close_device();
}

void queue_speaker(int divisor) {
    if (!audio_usable) return;
    bool audible = sound::pitch_of(divisor) > 0;
    silent_since_us = audible ? 0 : machine::steady_us();
    bool opening = audio == 0;
    if (opening && (!audible || !open_device())) return;
    latest_divisor.store(divisor);
    unsigned next = ring_in.load(std::memory_order_relaxed);
    if (next - ring_out.load(std::memory_order_acquire) == kRing) {  // the callback has stalled
        ring_overflowed.store(true);
        return;
    }
    ring[next % kRing] = {machine::steady_us(), divisor};
    ring_in.store(next + 1, std::memory_order_release);
    if (opening) SDL_PauseAudioDevice(audio, 0);  // its first block starts with this tone
}

}  // namespace sdl
