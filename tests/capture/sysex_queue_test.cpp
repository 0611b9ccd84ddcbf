#include "capture/sysex_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tessaly {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t start) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(start + i);
  return bytes;
}

struct Reader {
  std::vector<uint8_t> bytes;
  std::vector<size_t> overflowsAt;  // bytes read when each overflow was reported
  void Read(SysexQ& q) {
    ReadSysexQ(
        q, [&](const uint8_t* b, size_t n) { bytes.insert(bytes.end(), b, b + n); },
        [&] { overflowsAt.push_back(bytes.size()); });
  }
};

TEST(SysexQueueTest, BytesComeOutInOrderAcrossTheWrap) {
  auto q = std::make_unique<SysexQ>();
  Reader reader;
  std::vector<uint8_t> sent;
  // 3000 bytes per round, read after each: the slots wrap several times.
  for (int round = 0; round < 10; ++round) {
    const auto chunk = Pattern(3000, static_cast<uint8_t>(round * 7));
    for (size_t at = 0; at < chunk.size(); at += 64) {
      const size_t n = std::min<size_t>(64, chunk.size() - at);
      WriteSysexQ(*q, chunk.data() + at, n);
    }
    sent.insert(sent.end(), chunk.begin(), chunk.end());
    reader.Read(*q);
  }
  EXPECT_EQ(reader.bytes, sent);
  EXPECT_TRUE(reader.overflowsAt.empty());
  EXPECT_EQ(q->bytesDropped.load(), 0u);
  EXPECT_EQ(q->readIndex.load(), 30000u);
}

TEST(SysexQueueTest, FullQueueKeepsWhatFitsAndReportsTheGapOnce) {
  auto q = std::make_unique<SysexQ>();
  const auto first = Pattern(8190, 0);
  WriteSysexQ(*q, first.data(), first.size());
  const auto tail = Pattern(10, 100);  // 2 fit, 8 are dropped
  WriteSysexQ(*q, tail.data(), tail.size());
  const auto later = Pattern(5, 200);  // dropped: the gap has not been read yet
  WriteSysexQ(*q, later.data(), later.size());
  EXPECT_EQ(q->bytesDropped.load(), 13u);

  Reader reader;
  reader.Read(*q);
  std::vector<uint8_t> expected = first;
  expected.insert(expected.end(), tail.begin(), tail.begin() + 2);
  EXPECT_EQ(reader.bytes, expected);
  EXPECT_EQ(reader.overflowsAt, std::vector<size_t>{8192});

  // After the gap was read, writing resumes and nothing is reported again.
  const auto resumed = Pattern(4, 50);
  WriteSysexQ(*q, resumed.data(), resumed.size());
  reader.Read(*q);
  expected.insert(expected.end(), resumed.begin(), resumed.end());
  EXPECT_EQ(reader.bytes, expected);
  EXPECT_EQ(reader.overflowsAt, std::vector<size_t>{8192});
}

TEST(SysexQueueTest, EmptyQueueReadsNothing) {
  auto q = std::make_unique<SysexQ>();
  Reader reader;
  reader.Read(*q);
  WriteSysexQ(*q, nullptr, 0);
  reader.Read(*q);
  EXPECT_TRUE(reader.bytes.empty());
  EXPECT_TRUE(reader.overflowsAt.empty());
}

}  // namespace
}  // namespace tessaly
