// The suite's main: runs the cases that apply to TESSALY_E2E_SYSTEM (midi_system.h), and says
// in one line which it leaves out.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/e2e/midi_system.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  using namespace tessaly::e2e;
  const MidiSystem system = SystemUnderTest();
  const std::string excluded = ExcludedCases(system);
  if (!excluded.empty()) {
    // A filter is POSITIVE[-NEGATIVE]: the cases of other systems join the negative part.
    std::string filter = GTEST_FLAG_GET(filter);
    filter += (filter.find('-') == std::string::npos ? "-" : ":") + excluded;
    GTEST_FLAG_SET(filter, filter);
    if (!GTEST_FLAG_GET(list_tests)) {
      std::printf("e2e on %s: not for this system: %s\n", SystemName(system), excluded.c_str());
    }
  }
  return RUN_ALL_TESTS();
}
