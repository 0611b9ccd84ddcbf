#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tests/e2e/child_process.h"

// A JACK server of a test's own, for the cases that kill one.
namespace tessaly::e2e {

// The name of such a server: the fixture's server name (per build tree) and `suffix`. A
// killed server keeps its place in JACK's registry, which has room for eight servers of all
// users, until a server of the same name starts again: a fixed name gives it back at the next
// run.
inline std::string OwnServerName(const std::string& suffix) {
  const char* fixture = std::getenv("JACK_DEFAULT_SERVER");
  return std::string(fixture != nullptr ? fixture : "tessaly-e2e") + "-" + suffix;
}

// Starts a JACK server of the given name (dummy driver, no realtime, long periods) in
// `environment` and waits until it answers; null, with a test failure, when it does not start.
inline std::unique_ptr<ChildProcess> StartJackServer(
    const std::string& name, std::map<std::string, std::string> environment) {
  using namespace std::chrono_literals;
  environment["JACK_DEFAULT_SERVER"] = name;
  auto jackd =
      std::make_unique<ChildProcess>(std::vector<std::string>{JACKD_BINARY, "--no-realtime", "-d",
                                                              "dummy", "-r", "48000", "-p", "4096"},
                                     environment);
  ChildProcess wait({JACK_WAIT_BINARY, "-s", name, "-w", "-t", "10"}, environment);
  if (wait.Wait(20s) != 0) {
    jackd->Signal(SIGTERM);
    jackd->Wait(10s);
    ADD_FAILURE() << "jackd did not start: " << jackd->ErrorText();
    return nullptr;
  }
  return jackd;
}

// A killed server leaves its shared memory and semaphores in /dev/shm; they carry its name.
inline void RemoveServerLeftovers(const std::string& server) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    const std::string file = entry.path().filename().string();
    if (file.find("_" + server + "_") != std::string::npos ||
        file.rfind("jack_" + server + "_", 0) == 0) {
      std::filesystem::remove(entry.path(), error);
    }
  }
}

}  // namespace tessaly::e2e
