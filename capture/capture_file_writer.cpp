#include "capture/capture_file_writer.h"

#include "capture/capture_file_ending.h"
#include "capture/smf_writer.h"
#include "capture/syx_writer.h"

namespace tessaly {
namespace {

// The capture log holds every event.
class CaptureLogWriter final : public CaptureFileWriter {
 public:
  void Begin(std::string& out) override {
    out.append(kCaptureLogHeader);
    out += '\n';
  }
  bool Append(const CaptureEvent& event, std::string& out) override {
    lines_.Append(event, out);
    ++kept_;
    return true;
  }
  void End(std::string&) override {}
  std::string_view Name() const override { return "capture log"; }

 private:
  CaptureLogLineWriter lines_;
};

}  // namespace

std::unique_ptr<CaptureFileWriter> MakeCaptureFileWriter(std::string_view path) {
  return MakeForFormat<CaptureFileWriter, SmfWriter, SyxWriter, CaptureLogWriter>(path);
}

}  // namespace tessaly
