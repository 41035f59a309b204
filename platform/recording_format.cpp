// SPDX-License-Identifier: MIT
#include "recording_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    Field field[4];
    std::uint64_t most[4];    // the largest value of each field a recording holds; of a signed one, its size
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
    {"a data file", {Field::bytes, Field::byte, Field::le32, Field::le32}, {255, 1, kAny, kAny}, 3},
    {"the table", {Field::byte, Field::bytes}, {1, kMaxTable}, 3},
    {"the save's end", {Field::byte}, {kNotWritten}, 3},
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
    for (int i = 0; i < 4 && l.field[i] != Field::none; ++i) {
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
    for (int i = 0; i < 4 && in.ok() && l->field[i] != Field::none; ++i) {
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
    put_text(out, r.program);
    put_le(out, static_cast<std::uint64_t>(us_of(r.start)), 8);
}

void read_header(Reader& in, Loaded& r) {
    r.program = in.text();
    std::int64_t start = static_cast<std::int64_t>(in.le(8));
    if (start < 0 || start > (std::int64_t{1} << 60)) in.fail(in.at - 8);
    r.start = tv_of(start);
    r.stream_at = in.at;
    if (r.format >= 3) return;  // the data files and the table are records of the stream
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

std::vector<std::uint8_t> prefix() {
    std::vector<std::uint8_t> file(kMagic, kMagic + sizeof kMagic);
    put_le(file, kFormat, 2);
    put_le(file, 0, 4);
    return file;
}

std::vector<std::uint8_t> file_of(const std::vector<std::uint8_t>& contents) {
    std::vector<std::uint8_t> file = prefix();
    pack_begin();
    if (!pack_block(contents, true, file)) return {};
    return file;
}

}  // namespace platform::recording::format

namespace platform::recording {

using namespace format;

namespace {

std::string damaged_at(std::size_t at) {
    return "is damaged at byte " + std::to_string(at) + " of its unpacked contents";
}

// A data file or the table, as format 3 records them in the stream, added to the recording's
// list; false when the recording holds it already, or names a file no recording holds.
bool noted(Loaded& r, const Record& record, bool& table_seen) {
    if (record.tag == kTableAtStart) {
        if (std::exchange(table_seen, true)) return false;
        r.table_present = record.value[0] != 0;
        if (record.value[1] > 0) r.table.assign(record.bytes, record.bytes + record.value[1]);
        return true;
    }
    std::string name(record.bytes, record.bytes + record.value[0]);
    auto same = [&](const Loaded::DataFile& f) { return f.name == name; };
    if (!data_name(name) || std::any_of(r.files.begin(), r.files.end(), same)) return false;
    r.files.push_back({name, record.value[1] != 0, static_cast<std::uint32_t>(record.value[2]),
                       static_cast<std::uint32_t>(record.value[3])});
    return true;
}

// Walks the stream as a replay would, without running the game: every record must be one a
// recording holds, and the last its end. A stream that stops short ends early, at the
// virtual time it reached, and is kept to its last whole record. Notes the length and the
// tables read again.
void check_stream(Loaded& r) {
    Reader in{r.body, r.stream_at};
    Extent extent;
    std::uint64_t last_delta = 0;
    bool poll_seen = false, table_seen = false;
    std::size_t whole = in.at;  // the end of the last whole record
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
            if (!poll_seen) in.fail(from);  // it repeats the poll before
            n = record.value[0];
        } else if (record.tag == kDataFile || record.tag == kTableAtStart) {
            if (!noted(r, record, table_seen)) in.fail(from);
        } else if (record.tag == kReadAgain && record.value[0] == 1) {
            r.tables_read_again.emplace_back(record.bytes, record.bytes + record.value[1]);
        } else if (record.tag == kEnd) {
            if (in.at != r.body.size()) in.fail(in.at);
            r.length_us = extent.us;
            if (in.ok()) return;
        }
        if (!extent.add(n, last_delta)) in.fail(from);
        if (in.ok()) whole = in.at;
    }
    if (in.damaged) {
        r.error = damaged_at(in.bad_at);
        return;
    }
    r.body.resize(whole);
    r.ends_early = "ends early, at " + seconds_text(extent.us) + " s";
}

// The prefix read: the format, and the most the contents may hold. False, with the error,
// when the file is refused there.
bool read_prefix(const std::uint8_t* bytes, std::size_t size, Loaded& r, std::size_t& most) {
    if (size < sizeof kMagic || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        r.error = "is not a brin recording";
        return false;
    }
    if (size < kPrefix) {
        r.error = "ends early, at 0.000000 s";
        return false;
    }
    r.format = static_cast<std::uint16_t>(bytes[8] | bytes[9] << 8);
    if (r.format < 1 || r.format > kFormat) {
        r.error = "is a recording of another format (" + std::to_string(r.format) + "), not " + std::to_string(kFormat);
        return false;
    }
    most = r.format >= 3 ? kMaxBody : bytes[10] | bytes[11] << 8 | bytes[12] << 16 | std::size_t{bytes[13]} << 24;
    if (most > kMaxBody) {
        r.error =
            "is too long to replay: " + std::to_string(most) + " bytes unpacked, at most " + std::to_string(kMaxBody);
        return false;
    }
    unpack_begin(r.format, most, kPrefix);
    return true;
}

// The contents unpacked so far checked; damage in the packed bytes is said first.
void finish(Loaded& r) {
    Unpacked u = unpack_end();
    r.body = std::move(u.contents);  // a file cut short is replayed as far as it goes
    check_contents(r);
    if (!u.error.empty()) r.error = u.error;
    if (!r.error.empty()) {
        r.body.clear();
        r.ends_early.clear();
    }
}

}  // namespace

void format::check_contents(Loaded& r) {
    Reader in{r.body};
    read_header(in, r);
    if (in.damaged)
        r.error = damaged_at(in.bad_at);
    else if (in.short_)
        r.error = "ends early, at 0.000000 s";  // nothing to replay
    else
        check_stream(r);
}

Loaded parse(const std::vector<std::uint8_t>& file) {
    Loaded r;
    std::size_t most = 0;
    if (!read_prefix(file.data(), file.size(), r, most)) return r;
    unpack_more(file.data() + kPrefix, file.size() - kPrefix);
    finish(r);
    return r;
}

Loaded load(const std::string& path) {
    Loaded r;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        r.error = std::string("can't be read: ") + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        r.error = "can't be read: it is not a file";
    } else if (static_cast<std::uint64_t>(st.st_size) > kMaxBody) {
        // A packed recording is smaller than its contents may be: a larger file is none of ours.
        r.error =
            "is too long to replay: " + std::to_string(st.st_size) + " bytes, at most " + std::to_string(kMaxBody);
    } else {
        std::vector<std::uint8_t> piece(65536);
        std::size_t had = 0, most = 0;
        for (ssize_t n; had < kPrefix && (n = ::read(fd, piece.data() + had, kPrefix - had)) > 0;) had += n;
        if (read_prefix(piece.data(), had, r, most)) {
            for (ssize_t n; (n = ::read(fd, piece.data(), piece.size())) > 0;)
                if (!unpack_more(piece.data(), static_cast<std::size_t>(n))) break;
            finish(r);
        }
    }
    if (fd >= 0) ::close(fd);
    return r;
}

}  // namespace platform::recording
