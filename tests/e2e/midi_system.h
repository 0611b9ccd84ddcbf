#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// The MIDI system the end-to-end suite runs on, from TESSALY_E2E_SYSTEM:
//   jack      (default) a JACK server that CTest's fixture starts (jack_server.sh), our JACK
//             sender (jack_sender.cpp)
//   alsa      the kernel's sequencer, in the emulated guest that CTest boots (scripts/alsa-guest),
//             our ALSA sender (alsa_sender.cpp); no server to start
//   pipewire  a private pipewire daemon that CTest's fixture starts (pipewire_server.sh), the
//             monitor and our JACK sender under pw-jack (PipeWire's own libjack)
// A build of the suite for one system names it in TESSALY_E2E_DEFAULT_SYSTEM, so that test
// discovery, which runs without the variable, lists that system's cases.
// Everything that differs between systems is in this file.
namespace tessaly::e2e {

enum class MidiSystem { kJack, kAlsa, kPipewire };

// Each system by its name in TESSALY_E2E_SYSTEM.
struct NamedSystem {
  MidiSystem system;
  const char* name;
};
inline constexpr NamedSystem kNamedSystems[] = {
    {MidiSystem::kJack, "jack"},
    {MidiSystem::kAlsa, "alsa"},
    {MidiSystem::kPipewire, "pipewire"},
};

inline MidiSystem SystemUnderTest() {
#ifndef TESSALY_E2E_DEFAULT_SYSTEM
#define TESSALY_E2E_DEFAULT_SYSTEM "jack"
#endif
  const char* value = std::getenv("TESSALY_E2E_SYSTEM");
  const std::string name = value != nullptr && *value != '\0' ? value : TESSALY_E2E_DEFAULT_SYSTEM;
  for (const NamedSystem& named : kNamedSystems) {
    if (name == named.name) return named.system;
  }
  std::fprintf(stderr, "TESSALY_E2E_SYSTEM=%s: not jack, alsa or pipewire\n", name.c_str());
  std::exit(2);
}

inline const char* SystemName(MidiSystem system) {
  for (const NamedSystem& named : kNamedSystems) {
    if (system == named.system) return named.name;
  }
  return "?";
}

// The command line that starts `argv` on the system: pipewire will put "pw-jack" in front.
inline std::vector<std::string> OnSystem(std::vector<std::string> argv) {
#ifdef PW_JACK_BINARY
  if (SystemUnderTest() == MidiSystem::kPipewire) argv.insert(argv.begin(), PW_JACK_BINARY);
#endif
  return argv;
}

// The sender of the system's own kind (same stdin protocol for all).
inline std::string SenderBinary() {
  switch (SystemUnderTest()) {
    case MidiSystem::kAlsa:
      return ALSA_SENDER_BINARY;
    case MidiSystem::kJack:
    case MidiSystem::kPipewire:  // the JACK sender under pw-jack
      break;
  }
  return JACK_SENDER_BINARY;
}

// The monitor's own input port, as --list-ports names it.
inline std::string VirtualPortName() {
  return SystemUnderTest() == MidiSystem::kAlsa ? "Tessaly MIDI In (ALSA virtual port)"
                                                : "Tessaly MIDI In (JACK virtual port)";
}

// What the sender's --connect looks for among the input ports: the monitor's virtual port.
inline std::string VirtualPortPattern() {
  return "Tessaly MIDI In";
}

// The index of the port that a sender named `name` offers, in --list-ports lines
// ("INDEX\tNAME"): the one line whose name contains `name` and is not one of ours. Port names
// differ by system ("JACK: NAME:out", "ALSA: NAME:out 128:0", ...); the rule does not care.
// nullopt when no line or more than one line matches.
inline std::optional<uint32_t> SenderPortIndex(const std::vector<std::string>& ports,
                                               const std::string& name) {
  std::optional<uint32_t> found;
  for (const std::string& line : ports) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string portName = line.substr(tab + 1);
    if (portName.find(name) == std::string::npos || portName.rfind("Tessaly", 0) == 0) continue;
    if (found) return std::nullopt;
    found = static_cast<uint32_t>(std::stoul(line.substr(0, tab)));
  }
  return found;
}

// Cases that apply to one system only, as gtest filter patterns; e2e_main.cpp leaves out
// those of the other systems and says so.
inline const char* const kJackOnlyCases[] = {
    "EndToEndTest.TheJackServerIsKilled",
    "EndToEndTest.WithNoMidiSystemTheDemoDeviceIsPortZero",
    "FaultInjectionTest.TheServerDiesAndComesBackThenUpAndDownReachAPortAgain",
    "FaultInjectionTest.AFloodPastEveryQueueIsCountedAndTheMonitorGoesOn",
    "FaultInjectionTest.EventsJackCannotHandOverAreCountedNeverMadeUp",
};
inline const char* const kAlsaOnlyCases[] = {"AlsaEndToEndTest.*"};
inline const char* const kPipewireOnlyCases[] = {"PipewireEndToEndTest.*"};

inline std::string ExcludedCases(MidiSystem system) {
  std::string excluded;
  auto add = [&](const auto& cases) {
    for (const char* pattern : cases)
      excluded += (excluded.empty() ? "" : ":") + std::string(pattern);
  };
  // pipewire: the JACK-only cases need a jackd of their own; PipeWire's are its own file's.
  if (system != MidiSystem::kJack) add(kJackOnlyCases);
  if (system != MidiSystem::kAlsa) add(kAlsaOnlyCases);
  if (system != MidiSystem::kPipewire) add(kPipewireOnlyCases);
  return excluded;
}

}  // namespace tessaly::e2e
