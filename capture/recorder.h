#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "capture/capture_file_writer.h"
#include "capture/capture_tap.h"
#include "capture/raw_message_queue.h"

// Records what the service delivers into a capture file (capture_file_writer.h, by ending). The
// service's input thread (messages, losses) and the window thread (port opened) push a copy into
// one lock-free queue, never waiting; the two never push at once: the window thread pushes a
// port's line before it hands the recorder to that port's input thread (InputDelivery::SetTap,
// whose hand-over orders the pushes), and takes it back, by SetTap(nullptr) or by closing the
// port, before Stop. The recorder's own thread takes the queue, formats the lines and writes the
// file. A disk that is slow (a queue full) or full (a write fails) loses no input: the recording
// stops there, and Stop's line says why and how many events it holds.
namespace tessaly {

class Recorder : public CaptureTap {
 public:
  // Creates `path` and starts the thread; null with `error` set when it cannot.
  static std::unique_ptr<Recorder> Start(const std::string& path, std::string& error);
  ~Recorder() override;

  void Delivered(int64_t ns, const uint8_t* bytes, size_t n) override;
  // The port's line is written at InputStarted, with the start of input as its time.
  void PortOpened(std::string_view name) override;
  void InputStarted(int64_t startNs) override;
  void Lost(const CaptureEvent& event) override;

  // Window thread: writes what is queued, closes the file and gives the line to show:
  // "recording stopped: N events in FILE", or "recording stopped early: WHY; N events in FILE";
  // then "; M left out (not in SMF)" when the format could not hold M of them.
  std::string Stop();
  // Events written so far (any thread).
  uint64_t Events() const { return events_.load(std::memory_order_relaxed); }
  // The recording stopped by itself (a full disk, or one that did not keep up): Stop's line says
  // why. Any thread; the window looks now and then, to say so when it happens.
  bool Ended() const { return ended_.load(std::memory_order_relaxed); }  // relaxed: a flag

 private:
  Recorder(int fd, std::string path, std::unique_ptr<CaptureFileWriter> writer);
  void Push(uint8_t kind, int64_t ns, const uint8_t* bytes, size_t n);
  void Run();
  // Recorder thread: moves what the queue holds into the file; false once recording stopped.
  bool TakeQueued();
  // Recorder thread: one record of the queue into the text (its bytes valid during the call).
  void Take(uint8_t tag, uint32_t stamp, const uint8_t* record, size_t n);
  // Recorder thread: writes the text, all of it or (`whole` false) only up to the last multiple
  // of the write size in the file; false once a write failed.
  bool Flush(bool whole = true);
  // Recorder thread, at the end: the file's last bytes, and what is written over it then.
  void Close();

  const int fd_;
  const std::string path_;
  const std::unique_ptr<CaptureFileWriter> writer_;  // the recorder thread's
  // Records: the event's time (8 bytes, or its distance from the time before in the stamp),
  // then its bytes; the kind is the record's tag.
  RawMessageQueue queue_;
  std::unique_ptr<uint8_t[]> popBuffer_;  // the recorder thread's
  // The queue had no room, or the disk did not keep up. On a line of the producers' own: they
  // read it before every push, and the recorder thread writes what follows all the time.
  alignas(64) std::atomic<bool> full_{false};
  // The time of the last record pushed (the producers'; they push one at a time), and of the
  // last taken (the recorder thread's): a near record's distance counts from there.
  int64_t pushedNs_ = 0;
  alignas(64) int64_t takenNs_ = 0;
  std::atomic<bool> quit_{false};
  // The recorder thread's sleep between looks, which Stop cuts short (neither is a producer).
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::atomic<uint64_t> events_{0};
  std::atomic<bool> ended_{false};
  // Recorder thread, then the window thread after the join.
  std::string text_;
  uint64_t written_ = 0;  // bytes of the file written
  std::string why_;
  // The open port's name: set by the window thread before the tap is handed over, read by the
  // input thread after (the hand-over orders the two).
  std::string portName_;
  bool stopped_ = false;
  bool writeFailed_ = false;
  std::thread thread_;
};

}  // namespace tessaly
