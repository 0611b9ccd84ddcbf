// Any sequence of what the MIDI system and the user can do, on a monitor over the scriptable
// fake service: callback calls of every kind with any parameters, receive buffers returned
// with any bytes and any claimed byte count, sysex streams, failures injected into any service
// call, every port operation, filter and clear buttons, drains. One thread plays both sides,
// so every interleaving the fuzzer finds can be replayed exactly.
//
// Input: a set-up byte, then operations until the input ends. Past its end the input reads as
// zeros, so every input is a valid program.
//
//   set-up byte s:  ports = s & 3 (0 to 3); s & 4: the service reports (next byte & 7) ports
//                   whatever it has; s & 8: the window does not start (no ReopenPort at first)
//   op byte % 18:   see Run below; parameters follow it.
//
// What must hold after every operation, besides the sanitizers' checks: openStatus is 0 or 1;
// portIndex < portCount while there is a port (unless a front end selected a port out of
// range, which the open then reports); neither queue's read index passes its write index and
// SysexQ never holds more than it can; the statistics list has 0 or 8 rows. After every drain:
// both queues are empty, no line of any list is longer than 1023 bytes or holds a zero byte,
// the statistics list has its 8 rows and each followed list is marked at its newest line.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "capture/midi_result.h"
#include "display/filter_set.h"
#include "display/line_builder.h"
#include "display/monitor_core.h"
#include "display/output_list.h"

namespace {

using tessaly::FakeMidiInputService;
using tessaly::MonitorCore;
using tessaly::OutputList;
using Call = FakeMidiInputService::Call;

// Callback calls one input may make in all, floods included: enough to lap the ring and to
// overflow SysexQ many times over, few enough that one drain takes every event and an input
// runs in milliseconds.
constexpr uint64_t kEventBudget = 20000;
constexpr size_t kMaxFlood = 1024;

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz_callback_sequences: %s\n", what);
  std::abort();
}

// The input as a stream of parameters; zeros past its end.
class Program {
 public:
  Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Done() const { return at_ >= size_; }
  uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return U16() | (uint32_t{U16()} << 16); }
  // Up to n bytes of the input itself.
  std::vector<uint8_t> Bytes(size_t n) {
    const size_t take = std::min(n, size_ - std::min(at_, size_));
    std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + take);
    at_ += take;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

constexpr uint32_t kKinds[] = {
    tessaly::MIM_OPEN,  tessaly::MIM_CLOSE,     tessaly::MIM_DATA,     tessaly::MIM_LONGDATA,
    tessaly::MIM_ERROR, tessaly::MIM_LONGERROR, tessaly::MIM_MOREDATA,
};

constexpr tessaly::MidiResult kResults[] = {
    tessaly::kUnspecifiedError, tessaly::kBadDeviceId,   tessaly::kNotEnabled,
    tessaly::kAllocated,        tessaly::kInvalidHandle, tessaly::kNoDriver,
    tessaly::kNoMemory,         tessaly::kInvalidParam,  tessaly::kHandleBusy,
    tessaly::kUnprepared,       tessaly::kStillPlaying,  tessaly::kServerGone,
};

class Session {
 public:
  explicit Session(Program& program) : p_(program) {
    const uint8_t setup = p_.U8();
    std::vector<std::string> names;
    for (int i = 0; i < (setup & 3); ++i) names.push_back("Port " + std::to_string(i));
    service_.SetPorts(std::move(names));
    if ((setup & 4) != 0) service_.SetReportedPortCount(p_.U8() & 7);
    core_ = std::make_unique<MonitorCore>(service_);
    if ((setup & 8) == 0) core_->Start();
    Check();
  }

  void Run() {
    while (!p_.Done()) {
      Step(p_.U8() % 18);
      Check();
    }
    core_->Shutdown();
    Drain();
    if (DumpWanted()) Dump();
  }

 private:
  // A kind: mostly one of the service's, now and then any value at all.
  uint32_t Kind() {
    const uint8_t k = p_.U8();
    return k < 224 ? kKinds[k % std::size(kKinds)] : p_.U32();
  }
  // param1 of a buffer return: our own header, or any value.
  uintptr_t BufferParam() {
    return (p_.U8() & 1) != 0 ? reinterpret_cast<uintptr_t>(&core_->capture().receiveHeader)
                              : p_.U32();
  }
  tessaly::MidiResult Result() {
    const uint8_t r = p_.U8();
    return r < 240 ? kResults[r % std::size(kResults)] : p_.U32();
  }
  bool Spend(uint64_t events) {
    if (spent_ + events > kEventBudget) return false;
    spent_ += events;
    return true;
  }

  void Step(uint8_t op) {
    switch (op) {
      case 0: {  // any callback call
        const uint32_t kind = Kind();
        const uintptr_t param1 = kind == tessaly::MIM_LONGDATA || kind == tessaly::MIM_LONGERROR
                                     ? BufferParam()
                                     : p_.U32();
        const uint32_t param2 = p_.U32();
        if (Spend(1)) service_.Deliver(kind, param1, param2);
        return;
      }
      case 1: {
        const uint32_t message = p_.U32();
        const uint32_t time = p_.U32();
        if (Spend(1)) service_.DeliverShort(message, time);
        return;
      }
      case 2: {
        const uint32_t message = p_.U32();
        const uint32_t time = p_.U32();
        if (Spend(1)) service_.DeliverError(message, time);
        return;
      }
      case 3: {  // the queued buffer comes back with any bytes and any claimed count
        const std::vector<uint8_t> bytes = p_.Bytes(p_.U8());
        const uint32_t kind = Kind();
        const uint8_t claim = p_.U8();
        std::optional<uint32_t> claimed;
        if ((claim & 1) != 0) claimed = (claim & 2) != 0 ? p_.U32() : p_.U8();
        const uint32_t time = p_.U32();
        if (Spend(1)) service_.ReturnBuffer(bytes.data(), bytes.size(), time, kind, claimed);
        return;
      }
      case 4: {  // sysex as a driver sends it
        const std::vector<uint8_t> bytes = p_.Bytes(p_.U8());
        if (Spend(bytes.size())) service_.SendSysex(bytes, p_.U32());
        return;
      }
      case 5: {  // any service call fails, once, a few times or from now on
        const auto call = static_cast<Call>(p_.U8() % 9);
        const tessaly::MidiResult result = Result();
        const auto times = static_cast<int8_t>(p_.U8());
        service_.FailCall(call, result, times == 0 ? 1 : times);
        return;
      }
      case 6:
        service_.ClearFailures();
        return;
      case 7:
        PortOperation(p_.U8() % 13);
        return;
      case 8:
        core_->ToggleFilter(static_cast<tessaly::FilterId>(p_.U8() % tessaly::kFilterCount));
        return;
      case 9:
        ClearButton(p_.U8() % 4);
        return;
      case 10:
      case 11:
        Drain();
        return;
      case 12:
        service_.SetNow(p_.U32());
        return;
      case 13: {  // a flood of short messages: laps the ring
        const size_t n = p_.U16() % kMaxFlood;
        const uint32_t message = p_.U32();
        const uint32_t time = p_.U32();
        if (!Spend(n)) return;
        for (size_t i = 0; i < n; ++i) {
          service_.DeliverShort(message + static_cast<uint32_t>(i),
                                time + static_cast<uint32_t>(i));
        }
        return;
      }
      case 14: {  // the same sysex over and over: overflows SysexQ
        const std::vector<uint8_t> bytes = p_.Bytes(1 + p_.U8() % 64);
        const size_t times = 1 + p_.U8() * 4u;
        if (!Spend(bytes.size() * times)) return;
        for (size_t i = 0; i < times; ++i) service_.SendSysex(bytes, 0);
        return;
      }
      case 15:
        core_->Shutdown();
        return;
      case 16:
        core_->Start();
        return;
      default: {  // a service that reports a different number of ports from now on
        // (only read at the window's construction, so this tests nothing but the fake)
        const uint8_t n = p_.U8();
        service_.SetReportedPortCount(n < 128 ? std::optional<uint32_t>(n & 7) : std::nullopt);
        return;
      }
    }
  }

  void ClearButton(uint8_t which) {
    switch (which) {
      case 0:
        return core_->ClearSysexWindow();
      case 1:
        return core_->ClearMidiMessageWindow();
      case 2:
        return core_->ClearMessageWindow();
      default:
        return core_->ClearStatisticsWindow();
    }
  }

  void PortOperation(uint8_t which) {
    tessaly::PortControl& ports = core_->ports();
    switch (which) {
      case 0:
        return ports.OpenPort();
      case 1:
        return ports.StartInput();
      case 2:
        return ports.PrepareHeader();
      case 3:
        return ports.AddBuffer();
      case 4:
        return ports.StopInput();
      case 5:
        return ports.ResetInput();
      case 6:
        return ports.UnprepareBuffer();
      case 7:
        return ports.ClosePort();
      case 8:
        return ports.ReopenPort();
      case 9:
        return ports.ShutdownPort();
      case 10:
        return ports.NextPort();
      case 11:
        return ports.PreviousPort();
      default: {
        // A front end's choice of port: any number. One out of range is passed to the open,
        // which reports it; it is the only way portIndex leaves the range.
        const uint32_t port = p_.U32();
        if (port >= ports.portCount()) selectedOutOfRange_ = std::max(selectedOutOfRange_, port);
        return ports.SelectPort(port);
      }
    }
  }

  void Drain() {
    core_->DrainAndDisplay();
    Check();
    const tessaly::CaptureState& capture = core_->capture();
    Require(capture.eventRing.readIndex.load() == capture.eventRing.writeIndex.load(),
            "drain left events in the ring");
    Require(capture.sysexQ.readIndex.load() == capture.sysexQ.writeIndex.load(),
            "drain left bytes in SysexQ");
    Require(core_->statisticsList.Count() == 8, "statistics table without its 8 rows");
    CheckLines(core_->messageBoxList, seen_[0]);
    CheckLines(core_->basicMessageList, seen_[1]);
    CheckLines(core_->statisticsList, seen_[2]);
    CheckLines(core_->sysexList, seen_[3]);
    for (const OutputList* list :
         {&core_->messageBoxList, &core_->basicMessageList, &core_->statisticsList}) {
      Require(list->Anchor() == static_cast<int64_t>(list->Count()) - 1,
              "a followed list is not marked at its newest line");
    }
  }

  // Lines appended since the last look (all of them after a clear).
  struct Seen {
    uint64_t clears = 0;
    size_t lines = 0;
  };
  static void CheckLines(const OutputList& list, Seen& seen) {
    if (list.ClearCount() != seen.clears) {
      seen.clears = list.ClearCount();
      seen.lines = 0;
    }
    for (; seen.lines < list.Count(); ++seen.lines) {
      const std::string_view line = list.Line(seen.lines);
      Require(line.size() <= tessaly::kMaxBuiltLine, "line longer than 1023 bytes");
      Require(line.find('\0') == std::string_view::npos, "zero byte inside a line");
    }
  }

  void Check() {
    const tessaly::PortControl& ports = core_->ports();
    Require(ports.openStatus() == 0 || ports.openStatus() == 1, "openStatus not 0 or 1");
    if (ports.portCount() > 0) {
      Require(ports.portIndex() < ports.portCount() || ports.portIndex() <= selectedOutOfRange_,
              "portIndex outside the ports");
    } else {
      Require(ports.portIndex() == 0 || ports.portIndex() <= selectedOutOfRange_,
              "portIndex moved with no port");
    }
    const tessaly::CaptureState& capture = core_->capture();
    const uint64_t ringRead = capture.eventRing.readIndex.load();
    const uint64_t ringWrite = capture.eventRing.writeIndex.load();
    Require(ringRead <= ringWrite, "ring read index passed its write index");
    const uint64_t sysexRead = capture.sysexQ.readIndex.load();
    const uint64_t sysexWrite = capture.sysexQ.writeIndex.load();
    Require(sysexRead <= sysexWrite, "SysexQ read index passed its write index");
    Require(sysexWrite - sysexRead <= tessaly::kSysexQSize, "SysexQ holds more than it can");
    Require(capture.receiveHeader.bufferLength.load() <= tessaly::kReceiveBufferReserve,
            "receive buffer longer than its reserve");
    const size_t rows = core_->statisticsList.Count();
    Require(rows == 0 || rows == 8, "statistics table neither empty nor 8 rows");
  }

  // TESSALY_FUZZ_DUMP=1 prints the lists after each input: for reading a finding or a seed.
  static bool DumpWanted() {
    static const bool wanted = std::getenv("TESSALY_FUZZ_DUMP") != nullptr;
    return wanted;
  }
  void Dump() const {
    for (const OutputList* list : {&core_->messageBoxList, &core_->basicMessageList,
                                   &core_->statisticsList, &core_->sysexList}) {
      for (size_t i = 0; i < list->Count(); ++i) {
        const std::string_view line = list->Line(i);
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(list->Name().size()),
                     list->Name().data(), static_cast<int>(line.size()), line.data());
      }
    }
  }

  Program& p_;
  // Declared before the monitor, so it outlives it: the monitor's last close calls back.
  FakeMidiInputService service_;
  std::unique_ptr<MonitorCore> core_;
  uint64_t spent_ = 0;
  uint32_t selectedOutOfRange_ = 0;
  Seen seen_[4];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Program program(data, size);
  Session session(program);
  session.Run();
  return 0;
}
