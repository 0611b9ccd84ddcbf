// The line store's layout: lines back to back in chunks, each found from where the line before
// it ends. These cases put lines at the places where that could go wrong: the first line of a
// chunk, a chunk filled to its last byte, empty lines there, lines too long for the room left,
// index blocks whose lines span two chunks, and a list cleared and filled again.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display/output_list.h"

namespace tessaly {
namespace {

// Line k: its number, then a fill byte that changes with k, up to `length` bytes, so a line
// read from the wrong place or with the wrong length never matches.
std::string MakeLine(size_t k, size_t length) {
  std::string line = std::to_string(k) + ":";
  line.resize(length, static_cast<char>('a' + k % 26));
  return line;
}

void ExpectLines(const OutputList& list, const std::vector<std::string>& expected) {
  ASSERT_EQ(list.Count(), expected.size());
  for (size_t k = expected.size(); k-- > 0;) {
    ASSERT_EQ(list.Line(k), expected[k]) << "line " << k;
  }
  for (size_t k = 0; k < expected.size(); ++k) {
    ASSERT_EQ(list.LineLength(k), expected[k].size()) << "line " << k;
  }
}

struct LayoutCase {
  const char* name;
  std::vector<size_t> lengths;
};

TEST(OutputListLayoutTest, EveryLineReadsBackAtChunkEdges) {
  constexpr size_t kFirstChunk = size_t{1} << 16;
  constexpr size_t kLongest = OutputList::kMaxEntryBytes;
  const LayoutCase cases[] = {
      {"empty lines only", {0, 0, 0}},
      {"empty first line, then text", {0, 10, 0, 20}},
      {"first chunk filled to its last byte, then an empty line and a short one",
       {kFirstChunk - 100, 100, 0, 5}},
      {"one byte too many for the first chunk", {kFirstChunk - 100, 101, 3}},
      {"longest line first, then short ones", {kLongest, 1, 2, 0, 3}},
      {"longest lines in a row (each its own chunk early on)",
       {7, kLongest, kLongest, 0, kLongest, 9}},
      {"a long line while small lines still fit", {100, kFirstChunk, 50, 50}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    OutputList list;
    std::vector<std::string> expected;
    for (size_t length : c.lengths) {
      expected.push_back(MakeLine(expected.size(), length));
      list.AppendLine(expected.back());
    }
    ExpectLines(list, expected);
  }
}

TEST(OutputListLayoutTest, IndexBlocksThatSpanChunkSwitchesReadBackWhole) {
  // About 23 MB of lines of every length from 0 to 299: several chunks up to 16 MiB and three
  // index blocks of 65 536 lines, with chunk switches inside blocks.
  OutputList list;
  std::vector<std::string> expected;
  for (size_t k = 0; k < 150000; ++k) {
    expected.push_back(MakeLine(k, (k * 7) % 300));
    list.AppendLine(expected.back());
  }
  ExpectLines(list, expected);
}

TEST(OutputListLayoutTest, ClearGivesMemoryBackAndTheListFillsAgain) {
  OutputList list;
  for (size_t k = 0; k < 400000; ++k) list.AppendLine(MakeLine(k, 70));
  EXPECT_GT(list.MemoryBytes(), size_t{28} << 20);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.Line(0), "");
  // What stays is the first chunk and the first index block, for the next lines.
  EXPECT_LT(list.MemoryBytes(), size_t{1} << 20);

  // Refilled: a line longer than the kept chunk first, then the layout cases once more.
  std::vector<std::string> expected;
  for (size_t length : {size_t{200000}, size_t{0}, size_t{70}, size_t{70}}) {
    expected.push_back(MakeLine(expected.size(), length));
    list.AppendLine(expected.back());
  }
  ExpectLines(list, expected);
  list.Clear();
  expected.clear();
  for (size_t k = 0; k < 100000; ++k) {
    expected.push_back(MakeLine(k, k % 90));
    list.AppendLine(expected.back());
  }
  ExpectLines(list, expected);
  EXPECT_EQ(list.ClearCount(), 2u);
}

}  // namespace
}  // namespace tessaly
