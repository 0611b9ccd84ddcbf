#pragma once

#include <memory>
#include <string_view>

#include "capture/capture_file_reader.h"

// The reader for a capture file, chosen by the file's ending: the one place that knows which
// endings there are.
namespace tessaly {

std::unique_ptr<CaptureFileReader> MakeCaptureFileReader(std::string_view path);

}  // namespace tessaly
