#pragma once

#include <memory>
#include <string_view>

#include "capture/capture_file_reader.h"

// The reader for a capture file, by its name's ending (capture_file_ending.h): .mid and .midi
// a Standard MIDI File, .syx system-exclusive messages, anything else the capture log.
namespace tessaly {

std::unique_ptr<CaptureFileReader> MakeCaptureFileReader(std::string_view path);

}  // namespace tessaly
