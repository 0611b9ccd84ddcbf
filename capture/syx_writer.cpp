#include "capture/syx_writer.h"

namespace tessaly {

void SyxWriter::Drop() {
  leftOut_ += pendingEvents_;
  pendingEvents_ = 0;
  pending_.clear();
  open_ = false;
}

bool SyxWriter::Append(const CaptureEvent& event, std::string& out) {
  const auto bytes = event.bytes;
  if (event.kind != CaptureKind::kData || bytes.empty()) {
    // A port change, a drop, a loss or a cut (the sender gone): a message in pieces is not
    // whole any more.
    if (event.kind != CaptureKind::kData) Drop();
    ++leftOut_;
    return true;
  }
  if (bytes.size() == 1 && bytes[0] >= 0xF8 && bytes[0] != 0xF9 && bytes[0] != 0xFD) {
    // Realtime: left out, but it may come between the pieces of a message, which goes on.
    ++leftOut_;
    return true;
  }
  const bool starts = bytes[0] == 0xF0;
  if (starts) Drop();  // an F0 cuts the message before it
  if (!starts && !open_) {
    ++leftOut_;
    return true;
  }
  // Data bytes after the F0, and an F7 at the end if the message ends here.
  size_t i = starts ? 1 : 0;
  while (i < bytes.size() && bytes[i] < 0x80) ++i;
  const bool ends = i + 1 == bytes.size() && bytes[i] == 0xF7;
  if ((i != bytes.size() && !ends) || pending_.size() + bytes.size() > kMaxMessage) {
    Drop();
    ++leftOut_;
    return true;
  }
  if (ends && pending_.empty()) {
    // The common case: a whole message in one event.
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    ++kept_;
    return true;
  }
  pending_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  ++pendingEvents_;
  open_ = true;
  if (ends) {
    out += pending_;
    kept_ += pendingEvents_;
    pendingEvents_ = 0;
    pending_.clear();
    open_ = false;
  }
  return true;
}

void SyxWriter::End(std::string&) {
  Drop();
}

}  // namespace tessaly
