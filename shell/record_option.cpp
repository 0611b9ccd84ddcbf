#include "shell/record_option.h"

#include <cstdio>

namespace tessaly {

std::unique_ptr<Recorder> StartRecording(QueuedInputService& service, const std::string& file) {
  std::string error;
  std::unique_ptr<Recorder> recorder = Recorder::Start(file, error);
  if (!recorder) {
    std::fprintf(stderr, "tessaly: %s\n", error.c_str());
    return nullptr;
  }
  service.SetTap(recorder.get());
  return recorder;
}

void StopRecording(QueuedInputService& service, Recorder& recorder) {
  service.ForceClose();
  service.SetTap(nullptr);
  std::fprintf(stderr, "tessaly: %s\n", recorder.Stop().c_str());
}

}  // namespace tessaly
