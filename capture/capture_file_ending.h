#pragma once

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

}  // namespace tessaly
