#pragma once

#include <memory>
#include <string_view>

// Which capture file format a file name asks for, by its ending (any case): the recorder writes
// and the replay reads the same format for the same name.
namespace tessaly {

enum class CaptureFileFormat { kCaptureLog, kSmf, kSyx };

inline CaptureFileFormat CaptureFileFormatFor(std::string_view path) {
  const auto endsWith = [path](std::string_view ending) {
    if (path.size() < ending.size()) return false;
    const std::string_view tail = path.substr(path.size() - ending.size());
    for (size_t i = 0; i < ending.size(); ++i) {
      const char c =
          tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
      if (c != ending[i]) return false;
    }
    return true;
  };
  if (endsWith(".mid") || endsWith(".midi")) return CaptureFileFormat::kSmf;
  if (endsWith(".syx")) return CaptureFileFormat::kSyx;
  return CaptureFileFormat::kCaptureLog;
}

// The reader or writer of a path's format: `Smf`, `Syx`, or `Log` for any other ending.
template <typename Base, typename Smf, typename Syx, typename Log>
std::unique_ptr<Base> MakeForFormat(std::string_view path) {
  switch (CaptureFileFormatFor(path)) {
    case CaptureFileFormat::kSmf:
      return std::make_unique<Smf>();
    case CaptureFileFormat::kSyx:
      return std::make_unique<Syx>();
    case CaptureFileFormat::kCaptureLog:
      break;
  }
  return std::make_unique<Log>();
}

}  // namespace tessaly
