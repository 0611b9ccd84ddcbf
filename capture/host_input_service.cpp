#include "capture/host_input_service.h"

#include <memory>
#include <vector>

#include "capture/alsa_backend.h"
#include "capture/demo_device.h"
#include "capture/jack_backend.h"

namespace tessaly {
namespace {

std::vector<std::unique_ptr<PortBackend>> Backends(std::unique_ptr<FileBackend> files) {
  std::vector<std::unique_ptr<PortBackend>> backends;
  backends.push_back(std::make_unique<AlsaBackend>());
  backends.push_back(std::make_unique<JackBackend>());
  backends.push_back(std::move(files));
  backends.push_back(std::make_unique<DemoBackend>());
  return backends;
}

}  // namespace

HostInputService::HostInputService(std::string replayFile, bool fast)
    : HostInputService(new FileBackend(fast), replayFile) {}

// `files` is owned from here on, by the list of backends.
HostInputService::HostInputService(FileBackend* files, const std::string& replayFile)
    : QueuedInputService(Backends(std::unique_ptr<FileBackend>(files))), files_(files) {
  if (!replayFile.empty()) files_->SetFile(replayFile);
}

std::optional<uint32_t> HostInputService::SetReplayFile(std::string path) {
  files_->SetFile(std::move(path));
  return ReplayPort();
}

}  // namespace tessaly
