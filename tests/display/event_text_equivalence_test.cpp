// The drain writes its hot texts without printf. These cases hold the hand-written formatters to
// the printf formats they replace (tests/support/expected_event_line.h): every channel message
// word, every millisecond of a second and every edge of the time fields, numbers of every width.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "display/event_lines.h"
#include "display/number_text.h"
#include "tests/support/expected_event_line.h"

namespace tessaly {
namespace {

using testing::ExpectedChannelText;
using testing::ExpectedPrefix;
using testing::PrintfText;

std::string Prefix(uint32_t relative, uint32_t message) {
  char out[kPrefixSize];
  const size_t n = EventLines::FormatTimeStampPrefix(out, relative, message);
  EXPECT_EQ(out[n], '\0');
  return std::string(out, n);
}

std::string ChannelText(uint32_t message) {
  char out[kPrefixSize];
  const size_t n = EventLines::FormatChannelMessage(out, message);
  EXPECT_EQ(out[n], '\0');
  return std::string(out, n);
}

TEST(EventTextEquivalenceTest, ChannelTextOfEveryStatusAndDataByte) {
  // Every status with every first data byte; the second data byte and the unused top byte run
  // through all their values along the way.
  size_t checked = 0;
  for (uint32_t status = 0; status < 256; ++status) {
    for (uint32_t d1 = 0; d1 < 256; ++d1) {
      const uint32_t d2 = (d1 * 97 + status) & 0xFF;
      const uint32_t top = (status * 31 + d1) & 0xFF;
      const uint32_t w = status | (d1 << 8) | (d2 << 16) | (top << 24);
      ASSERT_EQ(ChannelText(w), ExpectedChannelText(w)) << std::hex << "word " << w;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 65536u);
}

TEST(EventTextEquivalenceTest, PrefixOfEveryMillisecondAndEveryFieldBoundary) {
  std::vector<uint32_t> times;
  // Every millisecond of the first second and of a second late on day 49.
  for (uint32_t ms = 0; ms < 1000; ++ms) {
    times.push_back(ms);
    times.push_back(49u * 86400000u + 3723000u + ms);
  }
  // Each field's edges: the last value before it carries, the carry, and one after.
  for (uint32_t unit : {1000u, 60000u, 3600000u, 86400000u}) {
    for (uint32_t k : {1u, 9u, 10u, 11u, 23u, 24u, 49u, 59u, 60u}) {
      const uint64_t t = uint64_t{unit} * k;
      if (t > std::numeric_limits<uint32_t>::max()) continue;
      for (uint32_t d : {0u, 1u}) times.push_back(static_cast<uint32_t>(t) - d);
      times.push_back(static_cast<uint32_t>(t) + 1);
    }
  }
  times.push_back(std::numeric_limits<uint32_t>::max());  // 49..17:02:47.295, the widest day
  // A stride through the whole 32-bit range.
  for (uint64_t t = 0; t <= std::numeric_limits<uint32_t>::max(); t += 104729) {
    times.push_back(static_cast<uint32_t>(t));
  }
  const uint32_t words[] = {0,          1,          0x643C90,   0xFFFFFF, 0x1000000,
                            0x0ABCDEF0, 0xFFFFFFFF, 0x00007B90, 0xF8,     0x12345678};
  size_t k = 0;
  for (uint32_t t : times) {
    const uint32_t w = words[k++ % std::size(words)];
    ASSERT_EQ(Prefix(t, w), ExpectedPrefix(t, w)) << "time " << t << " word " << w;
  }
  for (uint32_t w : words) ASSERT_EQ(Prefix(3723004, w), ExpectedPrefix(3723004, w));
  EXPECT_EQ(Prefix(3723004, 0x643C90), " Time.0..01:02:03.004- 643C90 ");
  EXPECT_EQ(Prefix(std::numeric_limits<uint32_t>::max(), 0xFFFFFFFF),
            " Time.49..17:02:47.295- FFFFFFFF ");
}

TEST(EventTextEquivalenceTest, NumbersOfEveryWidth) {
  std::vector<uint64_t> values = {0, std::numeric_limits<uint32_t>::max(),
                                  std::numeric_limits<uint64_t>::max()};
  for (uint64_t p = 1; p <= std::numeric_limits<uint64_t>::max() / 10; p *= 10) {
    for (uint64_t v : {p - 1, p, p + 1, p * 9}) values.push_back(v);
  }
  for (uint64_t v : values) {
    for (int width : {1, 2, 3, 4, 6, 20}) {
      char out[32];
      const std::string decimal(out, PutDecimal(out, v, width));
      ASSERT_EQ(decimal, PrintfText("%0*" PRIu64, width, v)) << v << " width " << width;
      if (v <= std::numeric_limits<uint32_t>::max() && width <= 8) {
        const auto v32 = static_cast<uint32_t>(v);
        const std::string hex(out, PutHex(out, v32, width));
        ASSERT_EQ(hex, PrintfText("%0*X", width, v32)) << v << " width " << width;
        const std::string small(out, PutDecimal(out, v32, width));
        ASSERT_EQ(small, PrintfText("%0*u", width, v32)) << v << " width " << width;
        const std::string lower(out, PutHex(out, v32, width, kLowerHexDigits, ' '));
        ASSERT_EQ(lower, PrintfText("%*x", width, v32)) << v << " width " << width;
      }
    }
  }
  for (unsigned v = 0; v < 256; ++v) {
    char out[2];
    const auto byte = static_cast<uint8_t>(v);
    ASSERT_EQ(std::string(out, PutHexByte(out, byte)), PrintfText("%02X", v));
    ASSERT_EQ(std::string(out, PutHexByte(out, byte, kLowerHexDigits, ' ')), PrintfText("%2x", v));
  }
  for (uint32_t v = 0; v < 0x10000; v += 7) {
    char out[16];
    ASSERT_EQ(std::string(out, PutHex(out, v << 12, 6)), PrintfText("%06X", v << 12));
  }
}

}  // namespace
}  // namespace tessaly
