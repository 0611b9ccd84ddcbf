#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/capture_file_writer.h"

// Writes a .syx file: the complete system-exclusive messages, F0 ... F7, back to back, nothing
// else (no times). A message delivered in pieces is held until its F7 and written whole; one
// cut short (by any other byte or message but a realtime one, by the sender going away, or by the
// end of the recording) is left out with every piece of it, and so is every other event.
namespace tessaly {

class SyxWriter final : public CaptureFileWriter {
 public:
  // The longest message held while its pieces come.
  static constexpr size_t kMaxMessage = size_t{16} << 20;

  void Begin(std::string&) override {}
  bool Append(const CaptureEvent& event, std::string& out) override;
  void End(std::string& out) override;
  std::string_view Name() const override { return ".syx"; }

 private:
  void Drop();

  std::string pending_;  // the message so far, while its pieces come
  uint64_t pendingEvents_ = 0;
  bool open_ = false;
};

}  // namespace tessaly
