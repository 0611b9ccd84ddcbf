#include "capture/smf_time_map.h"

#include <algorithm>
#include <limits>

namespace tessaly {
namespace {

constexpr uint64_t kLatest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
constexpr uint64_t kDefaultTempoNs = 500000000;  // a quarter note at 120 a minute

// a * b / c, rounded down, at most kLatest; c > 0 and (c - 1) * b < 2^64 (so that the
// remainder's product cannot overflow: here c is at most 30000 * 255 and b at most 1.001e12).
uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c) {
  uint64_t high = 0;
  if (__builtin_mul_overflow(a / c, b, &high)) return kLatest;
  const uint64_t sum = high + (a % c) * b / c;
  return sum < high || sum > kLatest ? kLatest : sum;
}

}  // namespace

SmfTimeMap::SmfTimeMap(uint64_t ppqn, const std::vector<SmfTempo>& tempos) : ppqn_(ppqn) {
  points_.push_back({0, 0, kDefaultTempoNs});
  for (const SmfTempo& tempo : tempos) {
    Point& last = points_.back();
    if (tempo.tick == last.tick) {
      last.nsPerQuarter = tempo.nsPerQuarter;
      continue;
    }
    const uint64_t ns =
        std::min(kLatest, last.ns + MulDiv(tempo.tick - last.tick, last.nsPerQuarter, ppqn_));
    points_.push_back({tempo.tick, ns, tempo.nsPerQuarter});
  }
}

SmfTimeMap::SmfTimeMap(int frames, int ticks)
    : num_(frames == 29 ? uint64_t{1000000000} * 1001 : uint64_t{1000000000}),
      den_(static_cast<uint64_t>(frames == 29 ? 30000 : frames) * static_cast<uint64_t>(ticks)) {}

int64_t SmfTimeMap::Ns(uint64_t tick) {
  if (ppqn_ == 0) return static_cast<int64_t>(MulDiv(tick, num_, den_));
  while (next_ + 1 < points_.size() && points_[next_ + 1].tick <= tick) ++next_;
  const Point& p = points_[next_];
  return static_cast<int64_t>(
      std::min(kLatest, p.ns + MulDiv(tick - p.tick, p.nsPerQuarter, ppqn_)));
}

}  // namespace tessaly
