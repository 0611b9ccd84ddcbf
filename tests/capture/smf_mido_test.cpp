// An SMF that another library wrote (mido, from Debian's python3-mido): format 1, two tracks,
// a tempo change in the first that times the second, running status and a sysex message.
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

constexpr char kScript[] = R"(
import sys
import mido

f = mido.MidiFile(type=1, ticks_per_beat=480)
tempo = mido.MidiTrack()
tempo.append(mido.MetaMessage('set_tempo', tempo=400000, time=0))
tempo.append(mido.Message('program_change', channel=1, program=5, time=960))
tempo.append(mido.MetaMessage('set_tempo', tempo=800000, time=0))
notes = mido.MidiTrack()
notes.append(mido.Message('note_on', note=60, velocity=100, time=0))
notes.append(mido.Message('note_on', note=62, velocity=100, time=480))
notes.append(mido.Message('sysex', data=[9, 1, 2], time=480))
notes.append(mido.Message('note_on', note=64, velocity=100, time=480))
f.tracks += [tempo, notes]
f.save(sys.argv[1])
)";

TEST(SmfMidoTest, AFileWrittenByMidoReadsWithItsTimes) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string stem = "tessaly-mido-" + std::to_string(getpid());
  const std::string script = (dir / (stem + ".py")).string();
  const std::string path = (dir / (stem + ".mid")).string();
  std::ofstream(script) << kScript;
  // Debian's interpreter, where python3-mido is installed (scripts/deps.sh).
  ASSERT_EQ(std::system(("/usr/bin/python3 " + script + " " + path).c_str()), 0);
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::filesystem::remove(script);
  std::filesystem::remove(path);
  // The second note in running status: delta 480, then its data bytes alone.
  const uint8_t running[] = {0x83, 0x60, 0x3E, 0x64};
  EXPECT_NE(std::search(file.begin(), file.end(), running, running + 4), file.end());
  SmfReader reader;
  // 480 ticks a quarter: 0.4 s each up to tick 960, then 0.8 s; at equal times track order.
  EXPECT_EQ(testing::ReadCaptureFile(reader, file, 7),
            (std::vector<std::string>{"0 90 3c 64", "400000000 90 3e 64", "800000000 c1 05",
                                      "800000000 f0 09 01 02 f7", "1600000000 90 40 64"}));
}

}  // namespace
}  // namespace tessaly
