#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// An SMF's ticks in nanoseconds from the start of the file: by the tempo map (ticks a quarter
// note) or by the SMPTE frame rate. Times past what 63 bits hold are held there.
namespace tessaly {

struct SmfTempo {
  uint64_t tick = 0;
  uint64_t nsPerQuarter = 0;
};

class SmfTimeMap {
 public:
  // `ppqn` ticks a quarter note; `tempos` the tempo changes in time order (the last one at a
  // tick wins); 500 000 us a quarter before the first.
  SmfTimeMap(uint64_t ppqn, const std::vector<SmfTempo>& tempos);
  // SMPTE: `frames` a second (29: 30 000 frames in 1001 seconds), `ticks` a frame.
  SmfTimeMap(int frames, int ticks);

  // For ticks that never go back.
  int64_t Ns(uint64_t tick);

 private:
  struct Point {
    uint64_t tick;
    uint64_t ns;
    uint64_t nsPerQuarter;
  };
  uint64_t ppqn_ = 0;  // 0: SMPTE
  uint64_t num_ = 0;   // SMPTE: ns = tick * num_ / den_
  uint64_t den_ = 1;
  std::vector<Point> points_;
  size_t next_ = 0;
};

}  // namespace tessaly
