#pragma once

#include <gtest/gtest.h>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_input_callback.h"

namespace tessaly::testing {

// Opens port 0 of `service` for `state` and queues the receive buffer, as the port sequence at
// start does, without going through port control.
inline MidiInHandle OpenAndQueue(FakeMidiInputService& service, CaptureState& state) {
  MidiInHandle handle = 0;
  EXPECT_EQ(service.Open(&handle, 0, MidiInputCallback, reinterpret_cast<uintptr_t>(&state),
                         kCallbackFunction),
            kNoError);
  EXPECT_EQ(service.Start(handle), kNoError);
  ReceiveHeader& header = state.receiveHeader;
  header.data.store(state.receiveBuffer);
  header.bufferLength.store(kReceiveBufferLength);
  header.flags.store(0);
  header.user.store(0);
  EXPECT_EQ(service.PrepareHeader(handle, &header, kReceiveHeaderSize), kNoError);
  EXPECT_EQ(service.AddBuffer(handle, &header, kReceiveHeaderSize), kNoError);
  return handle;
}

}  // namespace tessaly::testing
