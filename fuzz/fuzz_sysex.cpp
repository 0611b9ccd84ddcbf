// Arbitrary bytes through SysexQ and the sysex drain. The input is a script of operations, so
// that messages break at any place, drains fall anywhere and the queue overflows:
//
//   op byte, n = (op >> 2) + 1:
//     op & 3 == 0   write the next n bytes
//     op & 3 == 1   write the next n bytes 256 times over (fills and overflows the queue)
//     op & 3 == 2   drain
//     op & 3 == 3   write the next n bytes, then drain
//
// Besides the sanitizers' checks, what must hold whatever the bytes: each drain empties the
// queue, the assembly and the text line stay inside their buffers, no line is longer than
// 1023 characters, a stop is requested exactly when bytes were dropped, and, with nothing
// dropped, the lines are the same as when the bytes come one at a time.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "capture/sysex_queue.h"
#include "display/line_builder.h"
#include "display/output_list.h"
#include "display/sysex_decoder.h"

namespace {

using tessaly::OutputList;
using tessaly::SysexDecoder;
using tessaly::SysexQ;

struct Rig {
  SysexQ queue;
  OutputList list;
  SysexDecoder decoder{list};
  std::atomic<uint32_t> stopRequest{0};
  // The list keeps its lines across inputs, since allocating its first chunk and index block
  // for every input would cost more than the decoding; it is emptied now and then.
  size_t firstLine = 0;

  // A fresh queue and decoder, as at the start of a run.
  void Reset() {
    std::destroy_at(&queue);
    std::construct_at(&queue);
    std::destroy_at(&decoder);
    std::construct_at(&decoder, list);
    stopRequest.store(0);
    constexpr size_t kListBytesKept = size_t{64} << 20;
    if (list.MemoryBytes() > kListBytesKept) list.Clear();
    firstLine = list.Count();
  }
};

Rig& TheRig() {
  static auto* rig = new Rig;  // lives as long as the fuzzer process
  return *rig;
}

struct Reference {
  OutputList list;
  SysexDecoder decoder{list};
  size_t firstLine = 0;

  void Reset() {
    std::destroy_at(&decoder);
    std::construct_at(&decoder, list);
    constexpr size_t kListBytesKept = size_t{64} << 20;
    if (list.MemoryBytes() > kListBytesKept) list.Clear();
    firstLine = list.Count();
  }
};

Reference& TheReference() {
  static auto* reference = new Reference;
  return *reference;
}

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz_sysex: %s\n", what);
  std::abort();
}

void DrainAndCheck(Rig& rig, size_t& linesSeen) {
  rig.decoder.DrainSysexQueue(rig.queue, rig.stopRequest);
  Require(rig.queue.readIndex.load() == rig.queue.writeIndex.load(), "drain left bytes unread");
  const auto& state = rig.decoder.state();
  Require(state.assemblyLength >= 0 && state.assemblyLength < tessaly::kSysexAssemblySize,
          "assembly length out of range");
  Require(state.textStreamLength >= 0 && state.textStreamLength < tessaly::kTextStreamLineSize,
          "text line length out of range");
  for (; linesSeen < rig.list.Count(); ++linesSeen) {
    Require(rig.list.LineLength(linesSeen) <= tessaly::kMaxBuiltLine, "line too long");
  }
  Require((rig.stopRequest.load() != 0) == (rig.queue.bytesDropped.load() != 0),
          "stop request does not match dropped bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Rig* rig = &TheRig();
  rig->Reset();
  static std::vector<uint8_t> written;
  written.clear();
  size_t linesSeen = rig->firstLine;
  size_t at = 0;
  while (at < size) {
    const uint8_t op = data[at++];
    const size_t n = static_cast<size_t>(op >> 2) + 1;
    const int kind = op & 3;
    if (kind == 2) {
      DrainAndCheck(*rig, linesSeen);
      continue;
    }
    const size_t take = n < size - at ? n : size - at;
    const int times = kind == 1 ? 256 : 1;
    for (int i = 0; i < times; ++i) {
      tessaly::WriteSysexQ(rig->queue, data + at, take);
      written.insert(written.end(), data + at, data + at + take);
    }
    at += take;
    if (kind == 3) DrainAndCheck(*rig, linesSeen);
  }
  DrainAndCheck(*rig, linesSeen);
  DrainAndCheck(*rig, linesSeen);

  if (rig->queue.bytesDropped.load() == 0) {
    Reference& reference = TheReference();
    reference.Reset();
    for (uint8_t b : written) reference.decoder.Consume(&b, 1);
    const size_t count = reference.list.Count() - reference.firstLine;
    Require(count == rig->list.Count() - rig->firstLine, "line count depends on how bytes arrive");
    for (size_t i = 0; i < count; ++i) {
      Require(reference.list.Line(reference.firstLine + i) == rig->list.Line(rig->firstLine + i),
              "line text depends on how bytes arrive");
    }
  }
  return 0;
}
