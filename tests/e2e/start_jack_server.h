#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"

namespace tessaly::e2e {

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

}  // namespace tessaly::e2e
