#pragma once

#include "capture/midi_input_service.h"

namespace tessaly {

// Runs the main window on `service` until it closes; returns the process's exit code.
int RunWindow(int argc, char** argv, MidiInputService& service);

}  // namespace tessaly
