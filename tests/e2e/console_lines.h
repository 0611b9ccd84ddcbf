#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <regex>
#include <string>
#include <vector>

// What the end-to-end cases expect of the console's output ("TAG\tTEXT" a line), and the bytes
// they send. The texts are spelled out here as a user reads them, never taken from the code.
namespace tessaly::e2e {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

inline const std::string kOk = "The specified command was carried out.";
inline const std::string kServerGone = "The MIDI server has gone away.";
inline const std::string kSourceGone = "The MIDI source has disappeared.";

// The four lines of a port's opening: `open` the open call's result, `rest` the others'.
inline Lines Status(const std::string& open, const std::string& rest) {
  return {"msg\tmidiInOpen            " + open, "msg\tmidiInStart           " + rest,
          "msg\tmidiInPrepareHeader   " + rest, "msg\tmidiInAddBuffer       " + rest};
}
// The three lines of a port's closing.
inline Lines Shutdown(const std::string& resetAndStop, const std::string& close = kOk) {
  return {"msg\tmidiInReset           " + resetAndStop,
          "msg\tmidiInStop            " + resetAndStop, "msg\tmidiInClose           " + close};
}
inline const Lines kStartLines = Status(kOk, kOk);
// The last line of a port step or of the run's end: the receive buffer given back.
inline const std::string kReleaseLine = "msg\tsysex Unprepare header function " + kOk;
// The end of the line a clock byte (F8) shows: the e2e cases send it until the link carries.
inline const std::string kClockLine = "0000F8          SYSEX DATA  bougus here";
inline const std::string kNote60 = "midi\t Time.T- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ";

inline Lines Joined(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The lines with every time stamp replaced by " Time.T- ", unchecked (times start again at
// each port, and a list's lines may be shown after another list's later ones).
inline Lines Untimed(const Lines& lines) {
  static const std::regex kTime(R"(\t Time\.0\.\.\d\d:\d\d:\d\d\.\d\d\d- )");
  Lines out;
  for (const std::string& line : lines)
    out.push_back(std::regex_replace(line, kTime, "\t Time.T- "));
  return out;
}

// The same, for a run on one port: checks the time stamp of every timed line, and that the
// times never go back.
inline Lines UntimedInOrder(const Lines& lines) {
  static const std::regex kTime(R"(^(msg|midi)\t Time\.0\.\.(\d\d):(\d\d):(\d\d)\.(\d\d\d)- )");
  Lines out;
  long last = -1;
  for (const std::string& line : lines) {
    std::smatch m;
    if (line.find("\t Time.") != std::string::npos) {
      EXPECT_TRUE(std::regex_search(line, m, kTime)) << line;
      if (m.empty()) continue;
      const long ms = ((std::stol(m[2]) * 60 + std::stol(m[3])) * 60 + std::stol(m[4])) * 1000 +
                      std::stol(m[5]);
      EXPECT_GE(ms, last) << line;
      last = ms;
      out.push_back(m[1].str() + "\t Time.T- " + m.suffix().str());
    } else {
      out.push_back(line);
    }
  }
  return out;
}

inline Lines WithTag(const Lines& lines, const std::string& tag) {
  Lines out;
  for (const std::string& line : lines) {
    if (line.rfind(tag + "\t", 0) == 0) out.push_back(line);
  }
  return out;
}

inline Lines WithoutStats(const Lines& lines) {
  Lines out;
  for (const std::string& line : lines) {
    if (line.rfind("stats\t", 0) != 0) out.push_back(line);
  }
  return out;
}

inline std::function<bool(const std::string&)> EndsWith(const std::string& end) {
  return [end](const std::string& line) {
    return line.size() >= end.size() &&
           line.compare(line.size() - end.size(), end.size(), end) == 0;
  };
}

// The count in cell `column` (0-15) of the statistics row starting with `name`; -1 when absent.
inline long StatsCell(const Lines& lines, const std::string& name, int column) {
  for (const std::string& line : lines) {
    if (line.rfind("stats\t" + name, 0) != 0) continue;
    std::vector<std::string> cells;
    std::string cell;
    for (char c : line.substr(6 + name.size())) {
      if (c == ' ') {
        if (!cell.empty()) cells.push_back(cell);
        cell.clear();
      } else {
        cell += c;
      }
    }
    if (!cell.empty()) cells.push_back(cell);
    if (cells.size() != 16) return -1;
    return cells[column] == "____" ? 0 : std::stol(cells[column]);
  }
  return -1;
}

// The bytes as the senders' commands take them ("90 3C 64 ").
inline std::string Hex(const Bytes& bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X ", b);
    text += hex;
  }
  return text;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A family message: F0 09 command payload F7.
inline Bytes Family(uint8_t command, const Bytes& payload = {}) {
  return Join({{0xF0, 0x09, command}, payload, {0xF7}});
}

inline Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// `count` letters, a to z again and again.
inline std::string Letters(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

// Data values as the family sends them: low nibble, high nibble.
inline Bytes Values(const Bytes& values) {
  Bytes out;
  for (uint8_t v : values) {
    out.push_back(v & 0x0F);
    out.push_back(v >> 4);
  }
  return out;
}

}  // namespace tessaly::e2e
