// SPDX-License-Identifier: MIT
// The records of a recording's stream: each reads back as it was written, and a value no
// recording holds is damage at the record's first byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "recording_format.h"

namespace {

using namespace platform::recording::format;

constexpr std::uint64_t negative(std::int64_t v) { return static_cast<std::uint64_t>(v); }

TEST(RecordingFormat, EveryRecordReadsBackAsWritten) {
    static const std::uint8_t kTable[] = {'a', 'b', 'c'};
    const Record records[] = {
        {kPoll, {std::uint64_t{1} << 45}},
        {kPoll + 3, {0}},
        {kRepeat, {std::uint64_t{1} << 40}},
        {kKey, {0x9C}},
        {kMouse, {negative(-(1 << 20)), 1 << 20, 7}},
        {kDisplay, {1}},
        {kMouseDevice, {0}},
        {kFrame, {0xDEADBEEF}},
        {kTone, {65536}},
        {kReadAgain, {1, sizeof kTable}, kTable},
        {kReadAgain, {0, 0}},
        {kDataFile, {5, 1, 1234, 0xCAFEF00D}, reinterpret_cast<const std::uint8_t*>("2.pcx")},
        {kTableAtStart, {1, sizeof kTable}, kTable},
        {kSaved, {kNotWritten}},
        {kEnd},
    };
    std::vector<std::uint8_t> bytes;
    for (const Record& r : records) write(bytes, r);
    Reader in{bytes};
    for (const Record& r : records) {
        Record back = read(in, platform::recording::kFormat);
        ASSERT_TRUE(in.ok()) << int{r.tag};
        EXPECT_EQ(back.tag, r.tag);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(back.value[i], r.value[i]) << int{r.tag} << " field " << i;
        if (r.bytes != nullptr) {
            std::size_t n = r.tag == kDataFile ? r.value[0] : r.value[1];
            EXPECT_EQ(std::vector<std::uint8_t>(back.bytes, back.bytes + n),
                      std::vector<std::uint8_t>(r.bytes, r.bytes + n));
        }
    }
    EXPECT_EQ(in.at, bytes.size());
}

TEST(RecordingFormat, AValueNoRecordingHoldsIsDamageAtItsRecord) {
    static const std::vector<std::uint8_t> kLong(kMaxReadAgain + 1);
    const struct {
        Record record;
        std::uint16_t format;
    } cases[] = {
        {{kPoll, {(std::uint64_t{1} << 45) + 1}}, 2},
        {{kMouse, {negative(INT64_MIN), 0, 0}}, 2},
        {{kMouse, {0, (1 << 20) + 1, 0}}, 2},
        {{kMouse, {0, 0, 8}}, 2},
        {{kDisplay, {2}}, 2},
        {{kTone, {65537}}, 2},
        {{kReadAgain, {2, 0}}, 2},
        {{kReadAgain, {0, kLong.size()}, kLong.data()}, 2},
        {{kReadAgain, {0, 0}}, 1},
        {{kDataFile, {0, 2, 0, 0}}, 3},
        {{kTableAtStart, {0, kMaxTable + 1}, kLong.data()}, 3},
        {{kTableAtStart, {0, 0}}, 2},
        {{kSaved, {kNotWritten + 1}}, 3},
        {{0}, 3},
        {{kSaved + 1}, 3},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = {kKey, 'x'};
        if (c.record.tag == 0 || c.record.tag > kSaved)
            bytes.push_back(c.record.tag);
        else
            write(bytes, c.record);
        Reader in{bytes};
        read(in, c.format);
        read(in, c.format);
        EXPECT_TRUE(in.damaged) << int{c.record.tag};
        EXPECT_EQ(in.bad_at, 2u) << int{c.record.tag};
    }
}

}  // namespace
