// SPDX-License-Identifier: MIT
#include "recording.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "packing.h"
#include "platform.h"

namespace platform::recording {

bool on = false;

namespace {

constexpr unsigned char kMagic[8] = {'B', 'R', 'I', 'N', 'R', 'E', 'C', 0x1A};
constexpr std::size_t kPrefix = 14;  // the magic, the format and the unpacked length
constexpr std::size_t kMaxTable = 4096;
constexpr std::size_t kMaxFiles = 64;
constexpr std::uint64_t kMaxPolls = std::uint64_t{1} << 30;  // a replay always ends soon
constexpr std::int64_t kMaxCoordinate = 1 << 20;
constexpr std::size_t kMaxReadAgain = 65536;  // the most a save reads back of a file

// The records of the stream, one tag byte each. A poll's tag is its kind + 1.
enum Tag : std::uint8_t {
    kRepeat = 5,  // the poll before, again n more times
    kKey,
    kMouse,
    kDisplay,
    kMouseDevice,
    kFrame,
    kTone,
    kEnd,
    kReadAgain,  // from format 2 on
};

std::int64_t us_of(timeval tv) { return std::int64_t{tv.tv_sec} * 1000000 + tv.tv_usec; }
timeval tv_of(std::int64_t us) { return {static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)}; }

// ---- bytes in, bytes out ----

void put_varint(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (; v >= 0x80; v >>= 7) out.push_back(static_cast<std::uint8_t>(v | 0x80));
    out.push_back(static_cast<std::uint8_t>(v));
}
void put_signed(std::vector<std::uint8_t>& out, std::int64_t v) {
    put_varint(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}
void put_le(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_text(std::vector<std::uint8_t>& out, const std::string& s) {
    out.push_back(static_cast<std::uint8_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

// Reads the body; every read past its end or of a value out of range marks it bad, and the
// reads after that give zeros.
struct Reader {
    const std::vector<std::uint8_t>& b;
    std::size_t at = 0;
    bool short_ = false;   // ran out of bytes
    bool damaged = false;  // a value no recording holds
    std::size_t bad_at = 0;

    bool ok() const { return !short_ && !damaged; }
    bool more() const { return ok() && at < b.size(); }
    void fail(std::size_t where) {
        if (!ok()) return;
        damaged = true;
        bad_at = where;
    }
    std::uint8_t byte() {
        if (!ok() || at >= b.size()) {
            short_ = short_ || ok();
            return 0;
        }
        return b[at++];
    }
    std::uint64_t le(int bytes) {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= std::uint64_t{byte()} << (8 * i);
        return v;
    }
    std::uint64_t varint() {
        std::size_t from = at;
        std::uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            std::uint8_t c = byte();
            v |= std::uint64_t{c & 0x7Fu} << shift;
            if ((c & 0x80) == 0) return v;
        }
        fail(from);
        return 0;
    }
    std::int64_t signed_varint() {
        std::uint64_t v = varint();
        return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
    }
    std::string text() {
        std::size_t n = byte();
        std::string s;
        for (std::size_t i = 0; i < n && ok(); ++i) s.push_back(static_cast<char>(byte()));
        return s;
    }
};

// ---- the digest of a data file ----

// Its size and CRC-32, read from its start; the file is left at its start again.
void digest(std::FILE* f, std::uint32_t& size, std::uint32_t& crc, std::vector<std::uint8_t>* keep) {
    std::uint32_t c = 0;
    std::uint64_t total = 0;
    std::vector<unsigned char> chunk(65536);  // too big for the browser's stack
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), f)) > 0; total += n) {
        c = crc32_of(c, chunk.data(), n);
        if (keep != nullptr && keep->size() < kMaxTable)
            keep->insert(keep->end(), chunk.begin(),
                         chunk.begin() + static_cast<std::ptrdiff_t>(std::min(n, kMaxTable - keep->size())));
    }
    std::rewind(f);
    size = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
    crc = c;
}

// A name a replay can put in a folder of its own: no folders, nothing hidden.
bool plain_name(const std::string& name) {
    return !name.empty() && name.size() < 256 && name[0] != '.' && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// ---- recording ----

struct Writer {
    bool active = false;
    std::int64_t start_us = 0, last_us = 0;
    std::vector<std::uint8_t> stream;
    int last_kind = -1;
    std::uint64_t last_delta = 0, repeats = 0;
    bool can_repeat = false;  // nothing but polls since the last poll record
    std::vector<std::uint8_t> keys;
    int mouse_x = 0, mouse_y = 0, buttons = 0;
    bool frame = false;
    std::uint32_t frame_crc = 0;
    std::vector<Loaded::DataFile> files;
    bool table_seen = false, table_present = false;
    std::vector<std::uint8_t> table;
} w;

void flush_repeats() {
    if (w.repeats == 0) return;
    w.stream.push_back(kRepeat);
    put_varint(w.stream, w.repeats);
    w.repeats = 0;
}

// A record other than a poll's; the next poll is not a repeat.
std::vector<std::uint8_t>& record(Tag tag) {
    flush_repeats();
    w.can_repeat = false;
    w.stream.push_back(tag);
    return w.stream;
}

void record_poll(machine::Poll what, timeval now) {
    std::int64_t us = us_of(now);
    auto delta = static_cast<std::uint64_t>(std::max<std::int64_t>(us - w.last_us, 0));
    w.last_us += static_cast<std::int64_t>(delta);
    int kind = static_cast<int>(what);
    if (w.can_repeat && kind == w.last_kind && delta == w.last_delta) {
        ++w.repeats;
        return;
    }
    flush_repeats();
    w.stream.push_back(static_cast<std::uint8_t>(kind + 1));
    put_varint(w.stream, delta);
    w.last_kind = kind;
    w.last_delta = delta;
    w.can_repeat = true;
}

void record_inputs(int x, int y, int buttons) {
    for (std::uint8_t k : w.keys) record(kKey).push_back(k);
    w.keys.clear();
    if (x != w.mouse_x || y != w.mouse_y || buttons != w.buttons) {
        auto& out = record(kMouse);
        put_signed(out, x);
        put_signed(out, y);
        out.push_back(static_cast<std::uint8_t>(buttons));
        w.mouse_x = x;
        w.mouse_y = y;
        w.buttons = buttons;
    }
    if (w.frame) put_le(record(kFrame), w.frame_crc, 4);
    w.frame = false;
    // Past the longest recording a reader takes, the rest is left out: the file ends early.
    if (w.stream.size() > kMaxBody - 65536) w.active = on = false;
}

// ---- replaying ----

struct Replay {
    bool active = false;
    Loaded r;
    std::string who;
    std::size_t at = 0;
    std::uint64_t poll = 0, repeats_left = 0;
    int last_kind = -1;
    std::uint64_t last_delta = 0;
    std::int64_t reading_us = 0;
    bool ended = false;
} p;

const char* poll_words(int kind) {
    static const char* const kWords[] = {"read the clock", "read the whole seconds", "polled the keys",
                                         "polled the mouse"};
    return kWords[kind];
}

// What the recording holds at the replay's place, in words.
std::string recorded_here() {
    if (p.repeats_left > 0) return std::string("the game ") + poll_words(p.last_kind);
    if (p.at >= p.r.body.size()) return "its end";
    std::uint8_t tag = p.r.body[p.at];
    if (tag >= 1 && tag <= 4) return std::string("the game ") + poll_words(tag - 1);
    switch (tag) {
    case kRepeat:
        return std::string("the game ") + poll_words(p.last_kind);
    case kKey:
    case kMouse:
        return "an input";
    case kDisplay:
        return "the display opening";
    case kMouseDevice:
        return "the mouse opening";
    case kFrame:
        return "a frame";
    case kTone:
        return "the speaker changing";
    case kReadAgain:
        return "the table read again at a save";
    default:
        return "its end";
    }
}

[[noreturn]] void leave(int status) {
    p.ended = true;
    platform::keyboard_close();
    platform::vga_setmode(platform::TEXT);
    std::exit(status);
}

std::string seconds_text(std::int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", static_cast<double>(us) / 1e6);
    return text;
}

void say_difference(const std::string& what) {
    std::string version = p.r.program == BRIN_VERSION ? "" : " (recorded by brin " + p.r.program + ")";
    std::fprintf(stderr, "%s: poll %llu at %s s: %s%s\n", p.who.c_str(), static_cast<unsigned long long>(p.poll),
                 seconds_text(p.reading_us - us_of(p.r.start)).c_str(), what.c_str(), version.c_str());
}

[[noreturn]] void differs(const std::string& what) {
    say_difference(what);
    leave(1);
}

// The next record must be `tag`; a replay that finds anything else has gone its own way.
Reader take(Tag tag, const std::string& game_did) {
    if (p.repeats_left > 0 || p.at >= p.r.body.size() || p.r.body[p.at] != tag)
        differs(game_did + " where the recording has " + recorded_here());
    Reader in{p.r.body, p.at + 1};
    return in;
}

void replay_poll(machine::Poll what) {
    ++p.poll;
    int kind = static_cast<int>(what);
    if (p.repeats_left == 0 && p.at < p.r.body.size()) {
        Reader in{p.r.body, p.at};
        std::uint8_t tag = in.byte();
        if (tag == kEnd) leave(0);
        if (tag == kRepeat) {
            p.repeats_left = in.varint();
            p.at = in.at;
        } else if (tag >= 1 && tag <= 4) {
            p.last_kind = tag - 1;
            p.last_delta = in.varint();
            p.at = in.at;
            p.repeats_left = 1;
        }
    }
    if (p.repeats_left == 0 || p.last_kind != kind)
        differs(std::string("the game ") + poll_words(kind) + " where the recording has " + recorded_here());
    --p.repeats_left;
    p.reading_us += static_cast<std::int64_t>(p.last_delta);
}

void replay_inputs(std::deque<std::uint8_t>& keys, int& x, int& y, int& buttons) {
    while (p.repeats_left == 0 && p.at < p.r.body.size()) {
        Reader in{p.r.body, p.at + 1};
        switch (p.r.body[p.at]) {
        case kKey:
            keys.push_back(in.byte());
            break;
        case kMouse:
            x = static_cast<int>(in.signed_varint());
            y = static_cast<int>(in.signed_varint());
            buttons = in.byte();
            break;
        case kFrame:
            if (auto crc = static_cast<std::uint32_t>(in.le(4)); crc != frame_crc()) {
                char what[96];
                std::snprintf(what, sizeof what, "the frame differs (CRC-32 %08x, recorded %08x)", frame_crc(), crc);
                differs(what);
            }
            break;
        default:
            return;
        }
        p.at = in.at;
    }
}

extern "C" void replay_exit() {
    if (!p.active || p.ended) return;
    p.ended = true;
    Reader in{p.r.body, p.at};
    if (p.repeats_left == 0 && in.byte() == kEnd) return;
    // The game ended on its own before the recording did: that is a difference too.
    std::fflush(stdout);
    say_difference("the game ended where the recording has " + recorded_here());
    std::_Exit(1);
}

// ---- checking a recording ----

// Walks the stream as a replay would, without running the game: every record must be one a
// recording holds, and the last its end. A stream that stops short ends early, at the
// virtual time it reached.
std::string check_stream(const Loaded& r) {
    Reader in{r.body, r.stream_at};
    std::uint64_t polls = 0, last_delta = 0;
    std::int64_t us = 0;
    bool poll_seen = false;
    while (in.ok()) {
        std::size_t from = in.at;
        std::uint8_t tag = in.byte();
        if (!in.ok()) break;
        std::uint64_t n = 0;
        if (tag >= 1 && tag <= 4) {
            last_delta = in.varint();
            n = 1;
            poll_seen = true;
        } else if (tag == kRepeat && poll_seen) {
            n = in.varint();
        } else if (tag == kKey || tag == kDisplay || tag == kMouseDevice) {
            std::uint8_t v = in.byte();
            if (tag != kKey && v > 1) in.fail(from);
        } else if (tag == kMouse) {
            std::int64_t x = in.signed_varint(), y = in.signed_varint();
            if (std::abs(x) > kMaxCoordinate || std::abs(y) > kMaxCoordinate || in.byte() > 7) in.fail(from);
        } else if (tag == kFrame) {
            in.le(4);
        } else if (tag == kTone) {
            if (in.varint() > 65536) in.fail(from);
        } else if (tag == kReadAgain && r.format >= 2) {
            bool found_ok = in.byte() <= 1;
            std::uint64_t size = in.varint();
            if (!found_ok || size > kMaxReadAgain) in.fail(from);
            for (std::uint64_t i = 0; i < size && in.ok(); ++i) in.byte();
        } else if (tag == kEnd) {
            if (in.ok() && in.at != r.body.size()) in.fail(in.at);
            if (in.ok()) return "";
        } else {
            in.fail(from);
        }
        // A year of virtual time and a bounded number of polls: any replay ends soon.
        if (n > kMaxPolls - polls || last_delta > (std::uint64_t{1} << 45)) in.fail(from);
        if (!in.ok()) break;
        polls += n;
        us += static_cast<std::int64_t>(n * last_delta);
        if (us > (std::int64_t{1} << 45)) in.fail(from);
    }
    if (in.damaged) return "is damaged at byte " + std::to_string(in.bad_at) + " of its unpacked contents";
    return "ends early, at " + seconds_text(us) + " s";
}

// The header: the program, the start, the data files, the table.
void read_header(Reader& in, Loaded& r) {
    r.program = in.text();
    std::int64_t start = static_cast<std::int64_t>(in.le(8));
    if (start < 0 || start > (std::int64_t{1} << 60)) in.fail(in.at - 8);
    r.start = tv_of(start);
    std::size_t count = in.le(2);
    if (count > kMaxFiles) in.fail(in.at - 2);
    for (std::size_t i = 0; i < count && in.ok(); ++i) {
        Loaded::DataFile f;
        std::size_t from = in.at;
        f.name = in.text();
        f.present = in.byte() != 0;
        f.size = static_cast<std::uint32_t>(in.le(4));
        f.crc = static_cast<std::uint32_t>(in.le(4));
        if (in.ok() && !plain_name(f.name)) in.fail(from);
        r.files.push_back(std::move(f));
    }
    r.table_present = in.byte() != 0;
    std::size_t size = in.le(2);
    if (size > kMaxTable) in.fail(in.at - 2);
    for (std::size_t i = 0; i < size && in.ok(); ++i) r.table.push_back(in.byte());
    r.stream_at = in.at;
}

// ---- the replay's folder ----

std::string replay_folder;

extern "C" void remove_replay_folder() {
    if (replay_folder.empty()) return;
    // Only what the game and the replay put there: the links, the table and its lock.
    if (DIR* d = opendir(replay_folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) unlinkat(dirfd(d), e->d_name, 0);
        closedir(d);
    }
    rmdir(replay_folder.c_str());
    replay_folder.clear();
}

}  // namespace

// ---- for the programs ----

void start_recording(timeval now) {
    w = Writer{};
    w.active = on = true;
    w.start_us = w.last_us = us_of(now);
}

std::vector<std::uint8_t> finish_recording() {
    if (w.active) record(kEnd);
    w.active = false;
    on = p.active;
    std::vector<std::uint8_t> body;
    put_text(body, BRIN_VERSION);
    put_le(body, static_cast<std::uint64_t>(w.start_us), 8);
    put_le(body, w.files.size(), 2);
    for (const auto& f : w.files) {
        put_text(body, f.name);
        body.push_back(f.present ? 1 : 0);
        put_le(body, f.size, 4);
        put_le(body, f.crc, 4);
    }
    body.push_back(w.table_present ? 1 : 0);
    put_le(body, w.table.size(), 2);
    body.insert(body.end(), w.table.begin(), w.table.end());
    body.insert(body.end(), w.stream.begin(), w.stream.end());
    std::vector<std::uint8_t> file(kMagic, kMagic + sizeof kMagic);
    put_le(file, kFormat, 2);
    put_le(file, body.size(), 4);
    if (!pack(body, file)) return {};
    return file;
}

Loaded parse(const std::vector<std::uint8_t>& file) {
    Loaded r;
    if (file.size() < sizeof kMagic || std::memcmp(file.data(), kMagic, sizeof kMagic) != 0) {
        r.error = "is not a brin recording";
        return r;
    }
    if (file.size() < kPrefix) {
        r.error = "ends early, at 0.000000 s";
        return r;
    }
    auto format = static_cast<std::uint16_t>(file[8] | file[9] << 8);
    r.format = format;
    if (format != 1 && format != kFormat) {
        r.error = "is a recording of another format (" + std::to_string(format) + "), not " + std::to_string(kFormat);
        return r;
    }
    std::size_t declared = file[10] | file[11] << 8 | file[12] << 16 | std::size_t{file[13]} << 24;
    if (declared > kMaxBody) {
        r.error = "is damaged at byte 10";
        return r;
    }
    std::string unpack_error;
    bool cut = false;
    r.body = unpack(file, kPrefix, declared, unpack_error, cut);
    Reader in{r.body};
    read_header(in, r);
    std::string stream_error = in.ok() ? check_stream(r) : "";
    if (in.damaged)
        r.error = "is damaged at byte " + std::to_string(in.bad_at) + " of its unpacked contents";
    else if (!unpack_error.empty())
        r.error = unpack_error;  // the damage in the packed bytes comes first
    else if (in.short_)
        r.error = "ends early, at 0.000000 s";
    else
        r.error = stream_error;
    if (r.error.empty() && cut) r.error = "is damaged at byte " + std::to_string(file.size());
    if (!r.error.empty()) r.body.clear();
    return r;
}

Loaded load(const std::string& path) {
    Loaded r;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        r.error = std::string("can't be read: ") + std::strerror(errno);
        return r;
    }
    // A packed recording is far smaller than its contents: a larger file is none of ours.
    std::fseek(in, 0, SEEK_END);
    auto size = static_cast<std::size_t>(std::max(std::ftell(in), 0L));
    std::rewind(in);
    std::vector<std::uint8_t> file(std::min(size, kMaxBody));
    file.resize(std::fread(file.data(), 1, file.size(), in));
    std::fclose(in);
    return parse(file);
}

std::string data_differs(const Loaded& r, const std::string& folder) {
    for (const auto& f : r.files) {
        std::FILE* here = std::fopen((folder + "/" + f.name).c_str(), "rb");
        if (here == nullptr) {
            if (f.present) return "was made with a " + f.name + ", and there is none here";
            continue;
        }
        std::uint32_t size = 0, crc = 0;
        digest(here, size, crc, nullptr);
        std::fclose(here);
        if (!f.present) return "was made without " + f.name;
        if (size != f.size || crc != f.crc) return "was made with another " + f.name;
    }
    return "";
}

std::string enter_replay_folder(const Loaded& r, const std::string& data_folder) {
    std::string base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    std::string pattern = base + "/brin-replay-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return std::string("no folder for the replay: ") + std::strerror(errno);
    replay_folder = pattern;
    std::atexit(remove_replay_folder);
    for (const auto& f : r.files) {
        if (!f.present) continue;
        std::string from = data_folder + "/" + f.name;
        if (symlink(from.c_str(), (replay_folder + "/" + f.name).c_str()) != 0)
            return "can't link " + from + ": " + std::strerror(errno);
    }
    if (r.table_present) {
        std::FILE* table = std::fopen((replay_folder + "/" + kTable).c_str(), "wb");
        bool written = table != nullptr && std::fwrite(r.table.data(), 1, r.table.size(), table) == r.table.size();
        if (table == nullptr || std::fclose(table) != 0 || !written)
            return "can't write the replay's " + std::string(kTable);
    }
    if (chdir(replay_folder.c_str()) != 0)
        return std::string("can't enter the replay's folder: ") + std::strerror(errno);
    return "";
}

std::string ready_to_replay(const Loaded& r, const std::string& folder) {
    if (!r.error.empty()) return r.error;
    if (std::string why = data_differs(r, folder); !why.empty()) return why;
    return enter_replay_folder(r, folder);
}

void start_replay(Loaded r, const std::string& who) {
    p = Replay{};
    p.r = std::move(r);
    p.who = who;
    p.at = p.r.stream_at;
    p.reading_us = us_of(p.r.start);
    p.active = on = true;
    std::atexit(replay_exit);
}

void stop_replay() { p.ended = true; }

// ---- for machine.cpp ----

bool replaying() { return p.active; }

void before_poll(machine::Poll what) {
    if (p.active) replay_poll(what);
}

void after_poll(machine::Poll what, std::deque<std::uint8_t>& keys, int& mouse_x, int& mouse_y, int& buttons) {
    if (p.active) {
        replay_inputs(keys, mouse_x, mouse_y, buttons);
    } else if (w.active) {
        record_poll(what, machine::now());
        record_inputs(mouse_x, mouse_y, buttons);
    }
}

timeval reading() { return tv_of(p.active ? p.reading_us : w.last_us); }

bool take_key(std::uint8_t byte) {
    if (p.active) return false;
    if (w.active) w.keys.push_back(byte);
    return true;
}

namespace {

bool opened(bool (*open)(), Tag tag, const char* what) {
    if (w.active) {
        bool ok = open();
        record(tag).push_back(ok ? 1 : 0);
        return ok;
    }
    if (!p.active) return open();
    Reader in = take(tag, std::string("the game opened ") + what);
    bool ok = in.byte() != 0;
    p.at = in.at;
    if (ok && !open()) {
        std::fprintf(stderr, "%s: the %s can't be opened here\n", p.who.c_str(), what);
        std::exit(1);
    }
    return ok;
}

}  // namespace

bool display_opened(bool (*open)()) { return opened(open, kDisplay, "the display"); }
bool mouse_opened(bool (*open)()) { return opened(open, kMouseDevice, "the mouse"); }

void speaker(int divisor) {
    if (w.active) {
        put_varint(record(kTone), static_cast<std::uint64_t>(divisor));
        return;
    }
    if (!p.active) return;
    Reader in = take(kTone, "the speaker changed to " + std::to_string(divisor));
    auto recorded = static_cast<int>(in.varint());
    if (recorded != divisor)
        differs("the speaker changed to " + std::to_string(divisor) + " where the recording has " +
                std::to_string(recorded));
    p.at = in.at;
}

void frame_shown() {
    if (!w.active) return;
    w.frame = true;
    w.frame_crc = frame_crc();
}

void data_file(const char* path, std::FILE* f) {
    if (!w.active) return;
    std::string name = path;
    if (name == kTable) {
        if (w.table_seen) return;
        w.table_seen = true;
        w.table_present = f != nullptr;
        std::uint32_t size = 0, crc = 0;
        if (f != nullptr) digest(f, size, crc, &w.table);
        return;
    }
    bool known = std::any_of(w.files.begin(), w.files.end(), [&](const auto& d) { return d.name == name; });
    if (known || !plain_name(name) || w.files.size() >= kMaxFiles) return;
    Loaded::DataFile d{name, f != nullptr};
    if (f != nullptr) digest(f, d.size, d.crc, nullptr);
    w.files.push_back(d);
}

void data_read_again(const char* path, store::Bytes& bytes, bool& found) {
    if (std::strcmp(path, kTable) != 0) return;
    if (w.active) {
        auto& out = record(kReadAgain);
        out.push_back(found ? 1 : 0);
        std::size_t size = std::min(bytes.size(), kMaxReadAgain);
        put_varint(out, size);
        out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        return;
    }
    if (!p.active || p.r.format < 2) return;  // an older recording: the replay's own table answers
    Reader in = take(kReadAgain, "the game read the table again at a save");
    found = in.byte() != 0;
    auto size = static_cast<std::size_t>(in.varint());
    auto from = p.r.body.begin() + static_cast<std::ptrdiff_t>(in.at);
    bytes.assign(from, from + static_cast<std::ptrdiff_t>(size));  // the stream was checked whole
    p.at = in.at + size;
}

std::int64_t replayed_us() { return p.reading_us - us_of(p.r.start); }

}  // namespace platform::recording
