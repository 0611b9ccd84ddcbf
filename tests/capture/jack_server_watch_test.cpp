#include "capture/jack_server_watch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class JackServerWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly-server-watch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directory(folder_ / "elsewhere");
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
};

// What a server makes as it starts says so; what anyone else makes there does not, nor what
// the same server makes beside its socket.
TEST_F(JackServerWatchTest, ASocketOfTheServerLibjackWouldAskIsSeen) {
  struct Case {
    const char* name;
    bool moved;  // made elsewhere and moved in
    bool seen;
  };
  const Case cases[] = {
      {"jack_studio_0_0", false, true},  // jackd's socket, for server "studio"
      {"jack_studio_1000_0", true, true},
      {"pipewire-0", false, true},
      {"pipewire-0.lock", false, true},  // made beside it as PipeWire starts: one probe more
      {"jack_other_0_0", false, false},  // another server
      {"jack_studio", false, false},     // no socket name of jackd's
      {"jack_sem.0_studio_system", false, false},
      {"jack-0-0", false, false},  // jackd's shared memory
      {"qtshm_x", false, false},
  };
  JackServerWatch watch({folder_.string()}, "studio");
  ASSERT_TRUE(watch.Watching());
  EXPECT_FALSE(watch.Appeared());
  for (const Case& c : cases) {
    const fs::path made = (c.moved ? folder_ / "elsewhere" : folder_) / c.name;
    std::ofstream(made).put('x');
    if (c.moved) fs::rename(made, folder_ / c.name);
    EXPECT_EQ(watch.Appeared(), c.seen) << c.name;
    EXPECT_FALSE(watch.Appeared()) << c.name << ": told once";
  }
}

TEST_F(JackServerWatchTest, NoFolderToWatchSaysSo) {
  JackServerWatch watch({(folder_ / "missing").string()}, "default");
  EXPECT_FALSE(watch.Watching());
  EXPECT_FALSE(watch.Appeared());
}

}  // namespace
}  // namespace tessaly
