#pragma once

#include <memory>
#include <string>

#include "capture/queued_input_service.h"
#include "capture/recorder.h"

// --record FILE, in the console and the window: the recorder, given to the service before any
// port opens, so that every port's messages reach it. Window thread.
namespace tessaly {

// Null after a line on standard error when FILE cannot be written.
std::unique_ptr<Recorder> StartRecording(QueuedInputService& service, const std::string& file);

// Closes the port for good (no input thread may push any more), ends the recording and writes
// its line on standard error.
void StopRecording(QueuedInputService& service, Recorder& recorder);

}  // namespace tessaly
