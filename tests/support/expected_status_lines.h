#pragma once

#include <string>

// The port status lines as a successful call reports them, written out in full.
namespace tessaly::testing {

inline const std::string kOpenOk = "midiInOpen            The specified command was carried out.";
inline const std::string kStartOk = "midiInStart           The specified command was carried out.";
inline const std::string kPrepareOk =
    "midiInPrepareHeader   The specified command was carried out.";
inline const std::string kAddOk = "midiInAddBuffer       The specified command was carried out.";
inline const std::string kResetOk = "midiInReset           The specified command was carried out.";
inline const std::string kStopOk = "midiInStop            The specified command was carried out.";
inline const std::string kCloseOk = "midiInClose           The specified command was carried out.";

}  // namespace tessaly::testing
