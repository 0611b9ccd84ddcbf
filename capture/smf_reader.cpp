#include "capture/smf_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <queue>
#include <string>
#include <utility>

#include "capture/midi_stream_parser.h"

namespace tessaly {
namespace {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kLatest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
constexpr uint64_t kDefaultTempoNs = 500000000;  // a quarter note at 120 a minute

uint32_t BigEndian(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

// a * b / c, rounded down, at most kLatest; c > 0 and (c - 1) * b < 2^64.
uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c) {
  uint64_t high = 0;
  if (__builtin_mul_overflow(a / c, b, &high)) return kLatest;
  const uint64_t sum = high + (a % c) * b / c;
  return sum < high || sum > kLatest ? kLatest : sum;
}

uint64_t AddTicks(uint64_t a, uint64_t b) {
  return a > kNever - b ? kNever : a + b;
}

struct Problem {
  uint64_t at = 0;
  const char* what = nullptr;
  bool cutShort = false;  // by the end of the track
};

enum class Kind { kMidi, kSysex, kEscape, kMeta, kEnd };

struct Event {
  Kind kind = Kind::kMidi;
  uint64_t delta = 0;
  size_t start = 0;  // its delta time's first byte
  size_t at = 0;     // its bytes (after the status byte, the length or the meta type)
  size_t size = 0;
  uint8_t status = 0;  // MIDI: the status byte; meta: its type
};

// One track's bytes, and how to step through them.
class TrackParser {
 public:
  TrackParser(const std::vector<uint8_t>& file, size_t begin, size_t end)
      : f_(file.data()), pos_(begin), end_(end) {}

  size_t Pos() const { return pos_; }
  // The next event; false with `problem` set (and Pos at the event's start) when there is
  // none to read.
  bool Next(Event& event, Problem& problem) {
    const size_t start = pos_;
    if (!Quantity(event.delta, problem)) return Fail(start);
    if (pos_ >= end_) return CutShort(start, problem);
    uint8_t status = f_[pos_];
    if (status < 0x80) {
      // Running status: the byte is the first data byte.
      if (running_ == 0) {
        problem = {pos_, "data byte with no running status"};
        return Fail(start);
      }
      status = running_;
    } else {
      ++pos_;
    }
    if (status < 0xF0) {
      running_ = status;
      const size_t length = static_cast<size_t>(ShortMessageDataLength(status));
      if (end_ - pos_ < length) return CutShort(start, problem);
      for (size_t i = 0; i < length; ++i) {
        if (f_[pos_ + i] >= 0x80) {
          problem = {pos_ + i, "status byte inside a channel message"};
          return Fail(start);
        }
      }
      event = {Kind::kMidi, event.delta, start, pos_, length, status};
      pos_ += length;
      return true;
    }
    uint8_t type = 0;
    if (status == 0xFF) {
      if (pos_ >= end_) return CutShort(start, problem);
      type = f_[pos_++];
    } else if (status != 0xF0 && status != 0xF7) {
      problem = {pos_ - 1, "status byte that is no SMF event"};
      return Fail(start);
    }
    uint64_t length = 0;
    if (!Quantity(length, problem)) return Fail(start);
    if (end_ - pos_ < length) return CutShort(start, problem);
    const Kind kind = status == 0xF0   ? Kind::kSysex
                      : status == 0xF7 ? Kind::kEscape
                      : type == 0x2F   ? Kind::kEnd
                                       : Kind::kMeta;
    event = {kind, event.delta, start, pos_, static_cast<size_t>(length), type};
    pos_ += static_cast<size_t>(length);
    return true;
  }

 private:
  bool Quantity(uint64_t& value, Problem& problem) {
    const size_t start = pos_;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos_ >= end_) {
        problem = {start, "event cut short by the end of its track", true};
        return false;
      }
      const uint8_t byte = f_[pos_++];
      value = value << 7 | (byte & 0x7F);
      if (byte < 0x80) return true;
    }
    problem = {start, "variable-length quantity longer than 4 bytes"};
    return false;
  }
  bool CutShort(size_t start, Problem& problem) {
    problem = {start, "event cut short by the end of its track", true};
    return Fail(start);
  }
  bool Fail(size_t start) {
    pos_ = start;
    return false;
  }

  const uint8_t* f_;
  size_t pos_;
  size_t end_;
  uint8_t running_ = 0;
};

struct Track {
  size_t begin = 0;
  size_t end = 0;
  bool cut = false;  // its chunk ran past the end of the file (reported once, for the chunk)
  size_t stop = 0;   // events are read up to here
};

struct Tempo {
  uint64_t tick = 0;
  uint64_t nsPerQuarter = 0;
};

// Ticks to nanoseconds, for ticks that never go back.
class TimeMap {
 public:
  // Ticks a quarter note, and the tempo changes in time order.
  TimeMap(uint64_t ppqn, const std::vector<Tempo>& tempos) : ppqn_(ppqn) {
    points_.push_back({0, 0, kDefaultTempoNs});
    for (const Tempo& tempo : tempos) {
      Point& last = points_.back();
      if (tempo.tick == last.tick) {
        last.nsPerQuarter = tempo.nsPerQuarter;  // the last change at a tick wins
        continue;
      }
      const uint64_t ns =
          std::min(kLatest, last.ns + MulDiv(tempo.tick - last.tick, last.nsPerQuarter, ppqn_));
      points_.push_back({tempo.tick, ns, tempo.nsPerQuarter});
    }
  }
  // SMPTE: `frames` a second (29: 30 000 / 1001), `ticks` a frame.
  TimeMap(int frames, int ticks)
      : num_(frames == 29 ? uint64_t{1000000000} * 1001 : uint64_t{1000000000}),
        den_(static_cast<uint64_t>(frames == 29 ? 30000 : frames) * static_cast<uint64_t>(ticks)) {}

  int64_t Ns(uint64_t tick) {
    if (ppqn_ == 0) return static_cast<int64_t>(MulDiv(tick, num_, den_));
    while (next_ + 1 < points_.size() && points_[next_ + 1].tick <= tick) ++next_;
    const Point& p = points_[next_];
    return static_cast<int64_t>(
        std::min(kLatest, p.ns + MulDiv(tick - p.tick, p.nsPerQuarter, ppqn_)));
  }

 private:
  struct Point {
    uint64_t tick;
    uint64_t ns;
    uint64_t nsPerQuarter;
  };
  uint64_t ppqn_ = 0;  // 0: SMPTE
  uint64_t num_ = 0;
  uint64_t den_ = 1;
  std::vector<Point> points_;
  size_t next_ = 0;
};

}  // namespace

void SmfReader::Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) {
  if (finished_) return;
  const size_t room = maxFile_ - file_.size();
  if (n > room && !tooLong_) {
    tooLong_ = true;
    sink.Problem(maxFile_, "file too large to hold: the rest is not read");
  }
  file_.insert(file_.end(), bytes, bytes + std::min(n, room));
}

void SmfReader::Finish(CaptureLogSink& sink) {
  if (finished_) return;
  finished_ = true;
  const std::vector<uint8_t> file = std::move(file_);
  const size_t size = file.size();
  const uint8_t* f = file.data();

  // The header: at the start, or after a wrapper (a RIFF MIDI file, say).
  static constexpr uint8_t kMThd[] = {'M', 'T', 'h', 'd'};
  const size_t head =
      static_cast<size_t>(std::search(file.begin(), file.end(), kMThd, kMThd + 4) - file.begin());
  if (head == size) {
    sink.Problem(0, "no MThd chunk: not a Standard MIDI File");
    return;
  }
  if (head != 0) {
    sink.Problem(0, "no MThd chunk at the start: reading the one at byte " + std::to_string(head));
  }
  if (size - head < 14) {
    sink.Problem(head, "MThd chunk cut short");
    return;
  }
  const uint32_t headLength = BigEndian(f + head + 4, 4);
  if (headLength < 6) {
    sink.Problem(head + 4, "MThd chunk shorter than 6 bytes");
    return;
  }
  const uint32_t format = BigEndian(f + head + 8, 2);
  const uint32_t declared = BigEndian(f + head + 10, 2);
  const uint32_t division = BigEndian(f + head + 12, 2);
  if (format == 2) {
    sink.Problem(head + 8, "SMF format 2 (independent sequences) is not read");
    return;
  }
  if (format > 2) {
    sink.Problem(head + 8, "unknown SMF format");
    return;
  }
  const int frames = 256 - static_cast<int>(division >> 8);
  const int frameTicks = static_cast<int>(division & 0xFF);
  if (division & 0x8000) {
    if ((frames != 24 && frames != 25 && frames != 29 && frames != 30) || frameTicks == 0) {
      sink.Problem(head + 12, "bad SMPTE division");
      return;
    }
  } else if (division == 0) {
    sink.Problem(head + 12, "division of 0 ticks a quarter note");
    return;
  }

  // The chunks: track chunks kept, any other skipped.
  std::vector<Track> tracks;
  size_t pos = head + 8;
  if (headLength > size - pos) {
    sink.Problem(head + 4, "chunk length past the end of the file (file cut short?)");
    pos = size;
  } else {
    pos += headLength;
  }
  while (pos < size) {
    if (size - pos < 8) {
      sink.Problem(pos, "chunk header cut short");
      break;
    }
    bool named = true;
    for (int i = 0; i < 4; ++i) named = named && f[pos + i] >= 0x20 && f[pos + i] < 0x7F;
    if (!named) {
      sink.Problem(pos, "not a chunk (no chunk name)");
      break;
    }
    const uint32_t length = BigEndian(f + pos + 4, 4);
    Track track;
    track.begin = pos + 8;
    if (length > size - track.begin) {
      sink.Problem(pos + 4, "chunk length past the end of the file (file cut short?)");
      track.end = size;
      track.cut = true;
    } else {
      track.end = track.begin + length;
    }
    if (std::memcmp(f + pos, "MTrk", 4) == 0) {
      if (tracks.size() == kMaxTracks) {
        sink.Problem(pos, "more than 65535 tracks: the rest are not read");
        break;
      }
      tracks.push_back(track);
    }
    pos = track.end;
  }
  if (tracks.size() != declared) {
    sink.Problem(head + 10, "the header says " + std::to_string(declared) +
                                " tracks, the file has " + std::to_string(tracks.size()));
  }

  // First pass: where each track ends, what is wrong in it, and the tempo map of them all.
  std::vector<Tempo> tempos;
  for (Track& track : tracks) {
    TrackParser parser(file, track.begin, track.end);
    uint64_t tick = 0;
    Event event;
    Problem problem;
    for (;;) {
      if (parser.Pos() >= track.end) {
        if (!track.cut) sink.Problem(track.end, "track without end-of-track event");
        break;
      }
      if (!parser.Next(event, problem)) {
        // A chunk cut by the end of the file was reported as such.
        if (!(track.cut && problem.cutShort)) sink.Problem(problem.at, problem.what);
        break;
      }
      tick = AddTicks(tick, event.delta);
      if (event.kind == Kind::kEnd) break;
      if (event.kind == Kind::kMeta && event.status == 0x51) {
        const uint32_t us = event.size == 3 ? BigEndian(f + event.at, 3) : 0;
        if (us == 0) {
          sink.Problem(event.start, "bad tempo event (not 3 bytes, or 0)");
        } else {
          tempos.push_back({tick, uint64_t{us} * 1000});
        }
      }
    }
    track.stop = parser.Pos();
  }
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const Tempo& a, const Tempo& b) { return a.tick < b.tick; });
  TimeMap time = (division & 0x8000) ? TimeMap(frames, frameTicks) : TimeMap(division, tempos);

  // Second pass: the tracks merged, the earliest event first, the first track at equal ticks.
  struct Cursor {
    TrackParser parser;
    size_t stop;
    uint64_t tick = 0;
    Event event;
  };
  std::vector<Cursor> cursors;
  cursors.reserve(tracks.size());
  for (const Track& track : tracks) {
    cursors.push_back({TrackParser(file, track.begin, track.end), track.stop, 0, Event{}});
  }
  // The cursor's next event that is handed over; false at the end of its track.
  const auto advance = [](Cursor& c) {
    Problem unused;
    while (c.parser.Pos() < c.stop && c.parser.Next(c.event, unused)) {
      c.tick = AddTicks(c.tick, c.event.delta);
      if (c.event.kind == Kind::kEnd) return false;
      if (c.event.kind == Kind::kMidi || c.event.kind == Kind::kSysex ||
          (c.event.kind == Kind::kEscape && c.event.size > 0)) {
        return true;
      }
    }
    return false;
  };
  using Next = std::pair<uint64_t, size_t>;  // tick, track
  std::priority_queue<Next, std::vector<Next>, std::greater<Next>> order;
  for (size_t i = 0; i < cursors.size(); ++i) {
    if (advance(cursors[i])) order.push({cursors[i].tick, i});
  }
  std::vector<uint8_t> bytes;
  while (!order.empty()) {
    const size_t i = order.top().second;
    order.pop();
    Cursor& c = cursors[i];
    const Event& e = c.event;
    bytes.clear();
    if (e.kind == Kind::kMidi) {
      bytes.push_back(e.status);
    } else if (e.kind == Kind::kSysex) {
      bytes.push_back(0xF0);
    }
    bytes.insert(bytes.end(), f + e.at, f + e.at + e.size);
    CaptureEvent out;
    out.kind = CaptureKind::kData;
    out.ns = time.Ns(c.tick);
    out.bytes = bytes;
    sink.Event(out);
    if (advance(c)) order.push({c.tick, i});
  }
}

}  // namespace tessaly
