#include "capture/capture_file_formats.h"

#include "capture/capture_log_reader.h"

namespace tessaly {

std::unique_ptr<CaptureFileReader> MakeCaptureFileReader(std::string_view path) {
  // Every other ending is a capture log, as the recorder writes it for other names.
  (void)path;
  return std::make_unique<CaptureLogReader>();
}

}  // namespace tessaly
