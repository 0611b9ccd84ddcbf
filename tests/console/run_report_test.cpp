#include "shell/run_report.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(RunReportTest, StatisticsRowsThenTheLineCountOfEveryList) {
  OutputList statistics("StatisticsList");
  OutputList messages("MessageBoxList");
  OutputList midi("BasicMessageList");
  OutputList sysex("SysexList");
  statistics.AppendLine("Note Off      0    1");
  statistics.AppendLine("Note On       2    3");
  messages.AppendLine("a");
  for (int i = 0; i < 1234; ++i) midi.AppendLine("x");
  const OutputList* const lists[4] = {&messages, &midi, &statistics, &sysex};
  EXPECT_EQ(ListReport(statistics, lists),
            "stats\tNote Off      0    1\n"
            "stats\tNote On       2    3\n"
            "lines\tMessageBoxList\t1\n"
            "lines\tBasicMessageList\t1234\n"
            "lines\tStatisticsList\t2\n"
            "lines\tSysexList\t0\n");
}

TEST(RunReportTest, ServiceCounts) {
  struct Case {
    InputDelivery::Counts counts;
    std::string line;
  };
  const Case cases[] = {
      {{},
       "service\tmessages dropped 0 sysex bytes dropped 0 held back 0 gave up 0 system loss "
       "reports 0 uncounted 0\n"},
      {{25060, 64, 1000000, 3, 7, 2},
       "service\tmessages dropped 25060 sysex bytes dropped 64 held back 1000000 gave up 3 "
       "system loss reports 7 uncounted 2\n"},
      {{UINT64_MAX, 1, 2, 4, 0, 0},
       "service\tmessages dropped 18446744073709551615 sysex bytes dropped 1 held back 2 gave up "
       "4 system loss reports 0 uncounted 0\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(ServiceReport(c.counts), c.line);
}

}  // namespace
}  // namespace tessaly
