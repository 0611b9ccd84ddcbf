#include "shell/window_recording.h"

#include <cstdio>

namespace tessaly {
namespace {

// How often a running recording is asked whether it stopped by itself.
constexpr int kCheckPeriodMs = 200;

}  // namespace

WindowRecording::WindowRecording(MidiInputService& service,
                                 std::function<void(const std::string&)> say,
                                 std::function<void()> changed, QObject* parent)
    : QObject(parent), service_(service), say_(std::move(say)), changed_(std::move(changed)) {
  check_.setInterval(kCheckPeriodMs);
  connect(&check_, &QTimer::timeout, this, [this] {
    if (recorder_ && recorder_->Ended()) Stop();
  });
}

WindowRecording::~WindowRecording() {
  // The window's end stops it first (with its line); this is for a window never shown.
  if (recorder_) {
    service_.SetTap(nullptr);
    std::fprintf(stderr, "tessaly: %s\n", recorder_->Stop().c_str());
  }
}

void WindowRecording::Start(const std::string& file) {
  if (recorder_) return;
  // No tap is set while none records: this only asks whether the service can give one.
  if (!service_.SetTap(nullptr)) {
    say_("cannot record to " + file + ": this input cannot be recorded");
    return;
  }
  std::string error;
  std::unique_ptr<Recorder> recorder = Recorder::Start(file, error);
  if (!recorder) {
    say_(error);
    return;
  }
  service_.SetTap(recorder.get());
  Adopt(std::move(recorder), file);
}

void WindowRecording::Adopt(std::unique_ptr<Recorder> recorder, const std::string& file) {
  if (!recorder || recorder_) return;
  recorder_ = std::move(recorder);
  check_.start();
  say_("recording to " + file);
  changed_();
}

void WindowRecording::Stop(bool alsoOnStderr) {
  if (!recorder_) return;
  check_.stop();
  // Once the service has let go of it, the input thread pushes nothing more.
  service_.SetTap(nullptr);
  const std::string line = recorder_->Stop();
  recorder_.reset();
  say_(line);
  if (alsoOnStderr) std::fprintf(stderr, "tessaly: %s\n", line.c_str());
  changed_();
}

}  // namespace tessaly
