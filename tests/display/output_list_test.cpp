#include "display/output_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

TEST(OutputListTest, KeepsLinesInOrderUnchangedUpToFirstZero) {
  OutputList list;
  list.AppendLine("good luck");
  list.AppendLine(std::string_view("cr\r inside\x01\xff", 12));
  list.AppendLine(std::string_view("before\0after", 12));
  list.AppendLine("");
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.Line(0), "good luck");
  EXPECT_EQ(list.Line(1), std::string_view("cr\r inside\x01\xff", 12));
  EXPECT_EQ(list.Line(2), "before");
  EXPECT_EQ(list.Line(3), "");
  EXPECT_EQ(list.LineLength(1), 12u);
  EXPECT_EQ(list.Line(4), "");  // past the end: empty, no read outside
}

TEST(OutputListTest, ClearEmptiesAndCountsClears) {
  OutputList list;
  list.AppendLine("a");
  list.SetAnchor(0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.ClearCount(), 1u);
  list.AppendLine("b");
  EXPECT_EQ(list.Line(0), "b");
}

TEST(OutputListTest, ManyLinesAcrossChunksAndIndexBlocks) {
  OutputList list;
  std::vector<std::string> expected;
  // Enough text to span several chunks and more than one index block.
  for (int i = 0; i < 200000; ++i) {
    std::string line = "line " + std::to_string(i) + std::string(i % 97, 'x');
    list.AppendLine(line);
    if (i % 9973 == 0) expected.push_back(line);
  }
  ASSERT_EQ(list.Count(), 200000u);
  for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(list.Line(k * 9973), expected[k]);
  EXPECT_EQ(list.Line(199999), "line 199999" + std::string(199999 % 97, 'x'));
}

TEST(OutputListTest, OverlongTextContinuesOnNextLine) {
  OutputList list;
  const std::string text(OutputList::kMaxEntryBytes + 5, 'q');
  list.AppendLine(text);
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.LineLength(0), OutputList::kMaxEntryBytes);
  EXPECT_EQ(list.LineLength(1), 5u);
}

class RecordingObserver : public LineObserver {
 public:
  void LineAppended(const OutputList& list, std::string_view line) override {
    seen.push_back(std::string(list.Name()) + ":" + std::string(line));
  }
  std::vector<std::string> seen;
};

TEST(OutputListTest, ObserverSeesEveryAppendInOrder) {
  OutputList a("A");
  OutputList b("B");
  RecordingObserver observer;
  a.SetObserver(&observer);
  b.SetObserver(&observer);
  a.AppendLine("1");
  b.AppendLine("2");
  a.AppendLine("3");
  EXPECT_EQ(observer.seen, (std::vector<std::string>{"A:1", "B:2", "A:3"}));
}

}  // namespace
}  // namespace tessaly
