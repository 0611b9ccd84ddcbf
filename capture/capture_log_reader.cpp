#include "capture/capture_log_reader.h"

#include <cstring>

namespace tessaly {

void CaptureLogReader::Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) {
  const char* at = reinterpret_cast<const char*>(bytes);
  const char* end = at + n;
  while (at < end && !rejected_) {
    const void* found = std::memchr(at, '\n', static_cast<size_t>(end - at));
    const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
    if (!skipping_) {
      const size_t piece = static_cast<size_t>(stop - at);
      if (pending_.size() + piece > kMaxLine) {
        // Reported once, at the line's number; its bytes are not kept.
        sink.Problem(line_ + 1, "line too long");
        pending_.clear();
        skipping_ = true;
      } else {
        pending_.append(at, piece);
      }
    }
    if (found == nullptr) return;
    at = stop + 1;
    if (skipping_) {
      skipping_ = false;
      ++line_;
      continue;
    }
    TakeLine(pending_, sink);
    pending_.clear();
  }
}

void CaptureLogReader::Finish(CaptureLogSink& sink) {
  if (rejected_) return;
  if (skipping_) {
    skipping_ = false;
    ++line_;
    return;
  }
  if (!pending_.empty()) {
    sink.Problem(line_ + 1, "last line has no newline (file cut short?)");
    TakeLine(pending_, sink);
    pending_.clear();
  } else if (!headerSeen_) {
    sink.Problem(line_ + 1, "empty file, not a tessaly capture log");
    rejected_ = true;
  }
}

void CaptureLogReader::TakeLine(std::string_view line, CaptureLogSink& sink) {
  ++line_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!headerSeen_) {
    if (line != kCaptureLogHeader) {
      sink.Problem(line_, "not a tessaly capture log (no header line)");
      rejected_ = true;
      return;
    }
    headerSeen_ = true;
    return;
  }
  if (line.empty() || line.front() == '#') return;
  CaptureEvent event;
  const std::string problem = ParseCaptureLogLine(line, event, scratch_);
  if (problem.empty()) {
    sink.Event(event);
  } else {
    sink.Problem(line_, problem);
  }
}

}  // namespace tessaly
