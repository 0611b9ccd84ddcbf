#pragma once

#include <functional>
#include <utility>

#include "capture/fake_midi_input_service.h"

// A fake device that plays `play` once the receive buffer is first queued: everything is
// captured before the first drain, so the output order is fixed.
namespace tessaly::test {

class PlayingFake : public FakeMidiInputService {
 public:
  explicit PlayingFake(std::function<void(FakeMidiInputService&)> play) : play_(std::move(play)) {}

  MidiResult AddBuffer(MidiInHandle handle, ReceiveHeader* header, uint32_t size) override {
    const MidiResult result = FakeMidiInputService::AddBuffer(handle, header, size);
    if (result == kNoError && !played_) {
      played_ = true;
      play_(*this);
    }
    return result;
  }

 private:
  std::function<void(FakeMidiInputService&)> play_;
  bool played_ = false;
};

}  // namespace tessaly::test
