#pragma once

#include <cstdint>

#include "capture/event_ring.h"
#include "capture/sysex_queue.h"

// How full the two queues between the driver thread and the window thread may get before
// someone acts, for the event ring (events) and the sysex queue (bytes).
namespace tessaly {

// Fill marks: the callback asks for an early drain (DrainWake) past them. Half of each queue,
// leaving the other half for the time the window thread needs to wake up.
inline constexpr uint64_t kEventRingFillMark = kEventRingSize / 2;
inline constexpr uint64_t kSysexQFillMark = kSysexQSize / 2;

// Hold marks: the service's input thread holds back its callback calls past them (HoldBack,
// QueueRoomGate). Three quarters of each queue: above the fill marks, with room left for one
// more call.
inline constexpr uint64_t kEventRingHoldMark = kEventRingSize * 3 / 4;
inline constexpr uint64_t kSysexQHoldMark = kSysexQSize * 3 / 4;

static_assert(kEventRingFillMark == 256 && kSysexQFillMark == 4096 && kEventRingHoldMark == 384 &&
              kSysexQHoldMark == 6144);

}  // namespace tessaly
