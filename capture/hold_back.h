#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "capture/delivery_gate.h"
#include "capture/raw_message_queue.h"

// HoldBack: the service's flow control. Before each callback call the input thread asks the
// delivery gate, when one is set, whether the consumer has room; while it has none the thread
// holds back, sleeping in short steps, so that the burst waits in the raw queue (which the
// producer never waits on: a message that does not fit there is dropped and counted). The wait
// is bounded: once the raw queue is half full, or after the limit, the call is made anyway, and
// calls go on without waiting until the gate shows room again, so a consumer that stopped
// draining cannot stall the service; its own overrun accounting reports what is lost then. A
// reset or a shutdown ends a wait at once.
namespace tessaly {

class HoldBack {
 public:
  // Wait for room before a callback call is made anyway, and the step of the wait.
  static constexpr std::chrono::milliseconds kLimit{500};
  static constexpr std::chrono::microseconds kStep{50};

  // Window thread: the consumer's room (null: none); it must outlive the input thread or be
  // replaced first. `limit`: the wait for room (tests choose theirs).
  void SetGate(const DeliveryGate* gate, std::chrono::milliseconds limit) {
    limitMs_.store(limit.count(), std::memory_order_relaxed);  // published below
    // release: the gate is fully built before the input thread can call it (pairs with the
    // acquire in Wait).
    gate_.store(gate, std::memory_order_release);
  }
  // Window thread (or the producer, before input starts): the wait for room, for a producer
  // that waits for the monitor and loses nothing.
  void SetLimit(std::chrono::milliseconds limit) {
    limitMs_.store(limit.count(), std::memory_order_relaxed);  // a setting only
  }
  // Asks the gate's consumer for an early drain (DeliveryGate::AskForDrain).
  void AskForDrain() const {
    // acquire: pairs with the release in SetGate; the gate object is complete.
    if (const DeliveryGate* gate = gate_.load(std::memory_order_acquire)) gate->AskForDrain();
  }

  // Input thread, before a callback call: waits (bounded) until the gate shows room.
  // `interrupted()`: true when the wait must end at once (a reset, the port closing).
  template <typename Interrupted>
  void Wait(const RawMessageQueue& queue, Interrupted interrupted);

  // Callback calls that waited for room, and waits that ended without room; each only grows.
  uint64_t HeldBack() const { return heldBack_.load(std::memory_order_relaxed); }  // a count
  uint64_t GaveUp() const { return gaveUp_.load(std::memory_order_relaxed); }      // a count

 private:
  std::atomic<const DeliveryGate*> gate_{nullptr};
  std::atomic<int64_t> limitMs_{kLimit.count()};
  std::atomic<uint64_t> heldBack_{0};
  std::atomic<uint64_t> gaveUp_{0};
  bool gaveUpWaiting_ = false;  // input thread: until the gate shows room again
};

template <typename Interrupted>
void HoldBack::Wait(const RawMessageQueue& queue, Interrupted interrupted) {
  // acquire: pairs with the release in SetGate; the gate object is complete.
  const DeliveryGate* gate = gate_.load(std::memory_order_acquire);
  if (gate == nullptr) return;
  if (gate->HasRoom()) {
    gaveUpWaiting_ = false;
    return;
  }
  if (gaveUpWaiting_ || interrupted()) return;
  heldBack_.fetch_add(1, std::memory_order_relaxed);  // a count only
  // relaxed: published by the release store of the gate, which we loaded with acquire.
  const std::chrono::milliseconds limit(limitMs_.load(std::memory_order_relaxed));
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    // The window thread is waiting for a reset, or the port is closing: deliver (or stop) now.
    if (interrupted()) return;
    // The raw queue absorbs a burst up to half its size; past that, or past the limit, the
    // consumer is too slow or stopped draining, and waiting longer would only move the loss
    // to the producer's side.
    if (queue.Used() >= RawMessageQueue::kCapacity / 2 ||
        std::chrono::steady_clock::now() >= deadline) {
      gaveUp_.fetch_add(1, std::memory_order_relaxed);  // a count only
      gaveUpWaiting_ = true;
      return;
    }
    std::this_thread::sleep_for(kStep);
  } while (!gate->HasRoom());
}

}  // namespace tessaly
