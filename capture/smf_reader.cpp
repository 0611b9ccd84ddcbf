#include "capture/smf_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <queue>
#include <string>
#include <utility>

#include "capture/smf_time_map.h"
#include "capture/smf_track_parser.h"

namespace tessaly {
namespace {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

uint32_t BigEndian(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

uint64_t AddTicks(uint64_t a, uint64_t b) {
  return a > kNever - b ? kNever : a + b;
}

struct Header {
  size_t at = 0;   // its chunk's first byte
  size_t end = 0;  // the first byte after it
  uint32_t tracks = 0;
  uint32_t division = 0;
  int frames = 0;  // SMPTE: frames a second; 0: ticks a quarter note
  int frameTicks = 0;
};

struct Track {
  size_t begin = 0;
  size_t end = 0;
  bool cut = false;  // its chunk ran past the end of the file (reported once, for the chunk)
  size_t stop = 0;   // events are read up to here
};

// The header chunk: at the start, or after a wrapper (a RIFF MIDI file, say). False when the
// file cannot be read.
bool ReadHeader(const std::vector<uint8_t>& file, CaptureLogSink& sink, Header& header) {
  static constexpr uint8_t kMThd[] = {'M', 'T', 'h', 'd'};
  const size_t size = file.size();
  const uint8_t* f = file.data();
  const size_t at =
      static_cast<size_t>(std::search(file.begin(), file.end(), kMThd, kMThd + 4) - file.begin());
  if (at == size) {
    sink.Problem(0, "no MThd chunk: not a Standard MIDI File");
    return false;
  }
  if (at != 0) {
    sink.Problem(0, "no MThd chunk at the start: reading the one at byte " + std::to_string(at));
  }
  if (size - at < 14) {
    sink.Problem(at, "MThd chunk cut short");
    return false;
  }
  const uint32_t length = BigEndian(f + at + 4, 4);
  if (length < 6) {
    sink.Problem(at + 4, "MThd chunk shorter than 6 bytes");
    return false;
  }
  const uint32_t format = BigEndian(f + at + 8, 2);
  if (format == 2) {
    sink.Problem(at + 8, "SMF format 2 (independent sequences) is not read");
    return false;
  }
  if (format > 2) {
    sink.Problem(at + 8, "unknown SMF format");
    return false;
  }
  header.at = at;
  header.tracks = BigEndian(f + at + 10, 2);
  header.division = BigEndian(f + at + 12, 2);
  if (header.division & 0x8000) {
    header.frames = 256 - static_cast<int>(header.division >> 8);
    header.frameTicks = static_cast<int>(header.division & 0xFF);
    const int frames = header.frames;
    if ((frames != 24 && frames != 25 && frames != 29 && frames != 30) || header.frameTicks == 0) {
      sink.Problem(at + 12, "bad SMPTE division");
      return false;
    }
  } else if (header.division == 0) {
    sink.Problem(at + 12, "division of 0 ticks a quarter note");
    return false;
  }
  if (length > size - (at + 8)) {
    sink.Problem(at + 4, "chunk length past the end of the file (file cut short?)");
    header.end = size;
  } else {
    header.end = at + 8 + length;
  }
  return true;
}

// The track chunks after the header; any other chunk is skipped.
std::vector<Track> FindTracks(const std::vector<uint8_t>& file, const Header& header,
                              CaptureLogSink& sink) {
  const size_t size = file.size();
  const uint8_t* f = file.data();
  std::vector<Track> tracks;
  size_t pos = header.end;
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
      if (tracks.size() == SmfReader::kMaxTracks) {
        sink.Problem(pos, "more than 65535 tracks: the rest are not read");
        break;
      }
      tracks.push_back(track);
    }
    pos = track.end;
  }
  if (tracks.size() != header.tracks) {
    sink.Problem(header.at + 10, "the header says " + std::to_string(header.tracks) +
                                     " tracks, the file has " + std::to_string(tracks.size()));
  }
  return tracks;
}

// The first pass: where each track stops, what is wrong in it, and the tempo changes of them
// all in time order (at equal ticks in track order).
std::vector<SmfTempo> CheckTracks(const std::vector<uint8_t>& file, std::vector<Track>& tracks,
                                  CaptureLogSink& sink) {
  std::vector<SmfTempo> tempos;
  for (Track& track : tracks) {
    SmfTrackParser parser(file.data(), track.begin, track.end);
    uint64_t tick = 0;
    SmfEvent event;
    SmfProblem problem;
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
      if (event.kind == SmfEventKind::kEnd) break;
      if (event.kind == SmfEventKind::kMeta && event.status == 0x51) {
        const uint32_t us = event.size == 3 ? BigEndian(file.data() + event.at, 3) : 0;
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
                   [](const SmfTempo& a, const SmfTempo& b) { return a.tick < b.tick; });
  return tempos;
}

// The second pass: the tracks merged, the earliest event first, at equal ticks the first
// track first.
void MergeTracks(const std::vector<uint8_t>& file, const std::vector<Track>& tracks,
                 SmfTimeMap& time, CaptureLogSink& sink) {
  struct Cursor {
    SmfTrackParser parser;
    size_t stop;
    uint64_t tick;
    SmfEvent event;
  };
  std::vector<Cursor> cursors;
  cursors.reserve(tracks.size());
  for (const Track& track : tracks) {
    cursors.push_back({SmfTrackParser(file.data(), track.begin, track.end), track.stop, 0, {}});
  }
  // To the cursor's next event that is handed over; false at the end of its track.
  const auto advance = [](Cursor& c) {
    SmfProblem unused;  // found in the first pass, which set `stop` before it
    while (c.parser.Pos() < c.stop && c.parser.Next(c.event, unused)) {
      c.tick = AddTicks(c.tick, c.event.delta);
      switch (c.event.kind) {
        case SmfEventKind::kEnd:
          return false;
        case SmfEventKind::kMidi:
        case SmfEventKind::kSysex:
          return true;
        case SmfEventKind::kEscape:
          if (c.event.size > 0) return true;
          break;
        case SmfEventKind::kMeta:
          break;
      }
    }
    return false;
  };
  using Next = std::pair<uint64_t, size_t>;  // tick, track
  std::priority_queue<Next, std::vector<Next>, std::greater<Next>> order;
  for (size_t i = 0; i < cursors.size(); ++i) {
    if (advance(cursors[i])) order.push({cursors[i].tick, i});
  }
  const uint8_t* f = file.data();
  std::vector<uint8_t> bytes;
  while (!order.empty()) {
    const size_t i = order.top().second;
    order.pop();
    Cursor& c = cursors[i];
    const SmfEvent& e = c.event;
    bytes.clear();
    if (e.kind == SmfEventKind::kMidi) {
      bytes.push_back(e.status);
    } else if (e.kind == SmfEventKind::kSysex) {
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
  Header header;
  if (!ReadHeader(file, sink, header)) return;
  std::vector<Track> tracks = FindTracks(file, header, sink);
  const std::vector<SmfTempo> tempos = CheckTracks(file, tracks, sink);
  SmfTimeMap time = header.frames != 0 ? SmfTimeMap(header.frames, header.frameTicks)
                                       : SmfTimeMap(header.division, tempos);
  MergeTracks(file, tracks, time, sink);
}

}  // namespace tessaly
