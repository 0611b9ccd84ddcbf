#include "capture/capture_file_formats.h"

#include "capture/capture_file_ending.h"
#include "capture/capture_log_reader.h"
#include "capture/smf_reader.h"
#include "capture/syx_reader.h"

namespace tessaly {

std::unique_ptr<CaptureFileReader> MakeCaptureFileReader(std::string_view path) {
  return MakeForFormat<CaptureFileReader, SmfReader, SyxReader, CaptureLogReader>(path);
}

}  // namespace tessaly
