// SPDX-License-Identifier: MIT
#include "recording_format.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

#include "packing.h"

namespace platform::recording::format {
namespace {

// What follows a record's tag, field by field.
enum class Field : std::uint8_t { none, varint, signed_varint, byte, le32, bytes };

constexpr std::uint64_t kAny = UINT64_MAX;
constexpr auto kMaxDelta = static_cast<std::uint64_t>(kLongestUs);
constexpr std::uint64_t kMaxCoordinate = 1 << 20;

struct Layout {
    const char* words;  // what the record is, as a replay names it; nullptr: no such record
    Field field[3];
    std::uint64_t most[3];    // the largest value of each field a recording holds; of a signed one, its size
    std::uint16_t since = 1;  // the first format that has it
};

// Every record, by its tag.
constexpr Layout kLayouts[] = {
    {nullptr, {}, {}},
    {"the game read the clock", {Field::varint}, {kMaxDelta}},
    {"the game read the whole seconds", {Field::varint}, {kMaxDelta}},
    {"the game polled the keys", {Field::varint}, {kMaxDelta}},
    {"the game polled the mouse", {Field::varint}, {kMaxDelta}},
    {"the poll before again", {Field::varint}, {kAny}},  // kRepeat
    {"an input", {Field::byte}, {kAny}},                 // kKey
    {"an input", {Field::signed_varint, Field::signed_varint, Field::byte}, {kMaxCoordinate, kMaxCoordinate, 7}},
    {"the display opening", {Field::byte}, {1}},
    {"the mouse opening", {Field::byte}, {1}},
    {"a frame", {Field::le32}, {kAny}},
    {"the speaker changing", {Field::varint}, {65536}},
    {"its end", {}, {}},
    {"the table read again at a save", {Field::byte, Field::bytes}, {1, kMaxReadAgain}, 2},
};

const Layout* layout_of(std::uint8_t tag, std::uint16_t format) {
    if (tag >= std::size(kLayouts) || kLayouts[tag].words == nullptr || kLayouts[tag].since > format) return nullptr;
    return &kLayouts[tag];
}

bool within(Field field, std::uint64_t value, std::uint64_t most) {
    if (field != Field::signed_varint) return value <= most;
    auto v = static_cast<std::int64_t>(value);
    return v >= -static_cast<std::int64_t>(most) && v <= static_cast<std::int64_t>(most);
}

// ---- bytes out ----

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

}  // namespace

const char* words_of(std::uint8_t tag) {
    const Layout* l = layout_of(tag, kFormat);
    return l != nullptr ? l->words : "its end";
}

std::int64_t us_of(timeval tv) { return std::int64_t{tv.tv_sec} * 1000000 + tv.tv_usec; }
timeval tv_of(std::int64_t us) { return {static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)}; }

std::string seconds_text(std::int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", static_cast<double>(us) / 1e6);
    return text;
}

std::string printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
        shown += escaped;
    }
    return shown;
}

// ---- bytes in ----

void Reader::fail(std::size_t where) {
    if (!ok()) return;
    damaged = true;
    bad_at = where;
}

std::uint8_t Reader::byte() {
    if (!ok() || at >= b.size()) {
        short_ = short_ || ok();
        return 0;
    }
    return b[at++];
}

std::uint64_t Reader::le(int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= std::uint64_t{byte()} << (8 * i);
    return v;
}

std::uint64_t Reader::varint() {
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

std::int64_t Reader::signed_varint() {
    std::uint64_t v = varint();
    return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

std::string Reader::text() {
    std::size_t n = byte();
    std::string s;
    for (std::size_t i = 0; i < n && ok(); ++i) s.push_back(static_cast<char>(byte()));
    return s;
}

// ---- records ----

void write(std::vector<std::uint8_t>& out, const Record& r) {
    out.push_back(r.tag);
    const Layout& l = kLayouts[r.tag];
    for (int i = 0; i < 3 && l.field[i] != Field::none; ++i) {
        std::uint64_t v = r.value[i];
        switch (l.field[i]) {
        case Field::varint:
            put_varint(out, v);
            break;
        case Field::signed_varint:
            put_signed(out, static_cast<std::int64_t>(v));
            break;
        case Field::byte:
            out.push_back(static_cast<std::uint8_t>(v));
            break;
        case Field::le32:
            put_le(out, v, 4);
            break;
        case Field::bytes:
            put_varint(out, v);
            if (v > 0) out.insert(out.end(), r.bytes, r.bytes + v);
            break;
        case Field::none:
            break;
        }
    }
}

Record read(Reader& in, std::uint16_t format) {
    Record r;
    std::size_t from = in.at;
    r.tag = in.byte();
    const Layout* l = layout_of(r.tag, format);
    if (l == nullptr) {
        in.fail(from);
        return r;
    }
    for (int i = 0; i < 3 && in.ok() && l->field[i] != Field::none; ++i) {
        std::uint64_t& v = r.value[i];
        switch (l->field[i]) {
        case Field::varint:
        case Field::bytes:
            v = in.varint();
            break;
        case Field::signed_varint:
            v = static_cast<std::uint64_t>(in.signed_varint());
            break;
        case Field::byte:
            v = in.byte();
            break;
        case Field::le32:
            v = in.le(4);
            break;
        case Field::none:
            break;
        }
        if (!within(l->field[i], v, l->most[i])) in.fail(from);
        if (l->field[i] == Field::bytes && in.ok()) {
            if (in.b.size() - in.at < v) {
                in.short_ = true;
                in.at = in.b.size();
            } else {
                r.bytes = in.b.data() + in.at;
                in.at += v;
            }
        }
    }
    return r;
}

// ---- the header ----

void write_header(std::vector<std::uint8_t>& out, const Loaded& r) {
    put_text(out, BRIN_VERSION);
    put_le(out, static_cast<std::uint64_t>(us_of(r.start)), 8);
    put_le(out, r.files.size(), 2);
    for (const auto& f : r.files) {
        put_text(out, f.name);
        out.push_back(f.present ? 1 : 0);
        put_le(out, f.size, 4);
        put_le(out, f.crc, 4);
    }
    out.push_back(r.table_present ? 1 : 0);
    put_le(out, r.table.size(), 2);
    out.insert(out.end(), r.table.begin(), r.table.end());
}

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
        if (in.ok() && !data_name(f.name)) in.fail(from);
        r.files.push_back(std::move(f));
    }
    r.table_present = in.byte() != 0;
    std::size_t size = in.le(2);
    if (size > kMaxTable) in.fail(in.at - 2);
    for (std::size_t i = 0; i < size && in.ok(); ++i) r.table.push_back(in.byte());
    r.stream_at = in.at;
}

bool Extent::add(std::uint64_t n, std::uint64_t delta) {
    if (n > kMaxPolls - polls) return false;
    if (delta == 0 ? n > kMaxStill - still : n > static_cast<std::uint64_t>(kLongestUs - us) / delta) return false;
    polls += n;
    us += static_cast<std::int64_t>(n * delta);
    if (n > 0) still = delta == 0 ? still + n : 0;
    return true;
}

bool data_name(const std::string& name) {
    static const char* const kNames[] = {"1.pcx", "2.pcx", "3.pcx", "4.pcx", "brin.pcx", "topaz.fon"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return name == n; });
}

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

std::vector<std::uint8_t> file_of(const std::vector<std::uint8_t>& contents) {
    std::vector<std::uint8_t> file(kMagic, kMagic + sizeof kMagic);
    put_le(file, kFormat, 2);
    put_le(file, contents.size(), 4);
    if (!pack(contents, file)) return {};
    return file;
}

}  // namespace platform::recording::format

namespace platform::recording {

using namespace format;

namespace {

// Walks the stream as a replay would, without running the game: every record must be one a
// recording holds, and the last its end. A stream that stops short ends early, at the
// virtual time it reached.
std::string check_stream(const Loaded& r) {
    Reader in{r.body, r.stream_at};
    Extent extent;
    std::uint64_t last_delta = 0;
    bool poll_seen = false;
    while (in.ok()) {
        std::size_t from = in.at;
        Record record = read(in, r.format);
        if (!in.ok()) break;
        std::uint64_t n = 0;
        if (is_poll(record.tag)) {
            last_delta = record.value[0];
            n = 1;
            poll_seen = true;
        } else if (record.tag == kRepeat) {
            if (!poll_seen) in.fail(from);
            n = record.value[0];
        } else if (record.tag == kEnd) {
            if (in.at != r.body.size()) in.fail(in.at);
            if (in.ok()) return "";
        }
        if (!extent.add(n, last_delta)) in.fail(from);
    }
    if (in.damaged) return "is damaged at byte " + std::to_string(in.bad_at) + " of its unpacked contents";
    return "ends early, at " + seconds_text(extent.us) + " s";
}

}  // namespace

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

}  // namespace platform::recording
