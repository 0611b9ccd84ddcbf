#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "capture/midi_constants.h"
#include "display/event_lines.h"
#include "display/output_list.h"
#include "tests/support/parse_time.h"

// The stress tests' traffic: short message i carries time stamp i, so every line says which
// message it shows.
namespace tessaly::testing {

// The short message of sequence number i (a note-on on channel i mod 16, key and velocity from i).
inline uint32_t SequencedMessage(uint32_t i) {
  return PackShortMessage(0x90 | (i & 0x0F), i & 0x7F, (i >> 7) & 0x7F);
}

// Every line of `list` is the whole, untorn event line of a sequenced message, at most `sent`,
// in order and none twice.
inline void ExpectSequencedLines(const OutputList& list, uint64_t sent) {
  uint64_t previous = 0;
  for (size_t k = 0; k < list.Count(); ++k) {
    uint64_t seq = 0;
    ASSERT_TRUE(ParseTime(list.Line(k), seq)) << list.Line(k);
    ASSERT_GT(seq, previous) << "line " << k << " out of order or repeated";
    ASSERT_LE(seq, sent);
    const auto i = static_cast<uint32_t>(seq);
    char prefix[kPrefixSize];
    char text[kPrefixSize];
    const size_t p = EventLines::FormatTimeStampPrefix(prefix, i, SequencedMessage(i));
    const size_t t = EventLines::FormatChannelMessage(text, SequencedMessage(i));
    ASSERT_EQ(list.Line(k), std::string(prefix, p) + std::string(text, t)) << "torn event";
    previous = seq;
  }
}

}  // namespace tessaly::testing
