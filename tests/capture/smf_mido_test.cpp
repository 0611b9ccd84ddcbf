// An SMF that another library wrote (tests/support/mido_song.py: format 1, two tracks, a tempo
// change in the first that times the second, running status and a sysex message).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/smf_reader.h"
#include "tests/support/read_capture_file.h"

namespace tessaly {
namespace {

TEST(SmfMidoTest, AFileWrittenByMidoReadsWithItsTimes) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string stem = "tessaly-mido-" + std::to_string(getpid());
  const std::string path = (dir / (stem + ".mid")).string();
  // Debian's interpreter, where python3-mido is installed (scripts/deps.sh).
  const std::string script = TESSALY_SOURCE_DIR "/tests/support/mido_song.py";
  ASSERT_EQ(std::system(("/usr/bin/python3 " + script + " " + path).c_str()), 0);
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  // The second note in running status: delta 480, then its data bytes alone.
  const uint8_t running[] = {0x83, 0x60, 0x3E, 0x64};
  EXPECT_NE(std::search(file.begin(), file.end(), running, running + 4), file.end());
  SmfReader reader;
  // 480 ticks a quarter: 0.4 s each up to tick 960, then 0.8 s; at equal times track order.
  EXPECT_EQ(testing::ReadCaptureFile(reader, file, 7),
            (std::vector<std::string>{"0 90 3c 64", "400000000 90 3e 64", "800000000 c1 05",
                                      "800000000 f0 09 11 68 69 f7", "1600000000 90 40 00"}));
}

}  // namespace
}  // namespace tessaly
