#include "display/sysex_decoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "sysex_test_support.h"

namespace tessaly {
namespace {

using namespace sysex_test;

struct DecodeCase {
  const char* name;
  Bytes input;
  std::vector<std::string> lines;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
  *os << c.name;
}

const std::string kSixteenF = " F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF";
const std::string kSixteen0 = " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F";

const std::vector<DecodeCase>& DecodeCases() {
  static const std::vector<DecodeCase> cases = {
      // TextChar: one character per message, a line at LF.
      {"TextCharABCrLf",
       Cat({TextChar('a'), TextChar('b'), TextChar(0x0D), TextChar(0x0A), TextChar('x'),
            TextChar(0x0A)}),
       {"ab\r", "x"}},
      {"TextCharWithoutPayloadAddsF7", Cat({{0xF0, 0x09, 0x10, 0xF7}, TextChar(0x0A)}), {"\xF7"}},
      {"TextCharNoLineWithoutLf", Cat({TextChar('a'), TextChar('b')}), {}},
      {"TextCharIgnoresBytesAfterTheCharacter",
       Cat({{0xF0, 0x09, 0x10, 'A', 'B', 0xF7}, TextChar(0x0A)}),
       {"A"}},
      {"TextCharLineEndsAtZeroCharacter",
       Cat({TextChar('a'), TextChar(0), TextChar('b'), TextChar(0x0A)}),
       {"a"}},
      {"TextCharLineSurvivesOtherCommands",
       Cat({TextChar('a'), {0xF0, 0x09, 0x2A, 0xF7}, TextChar('b'), TextChar(0x0A)}),
       {"eeprom dump no argument", "ab"}},
      // TextString: one line per message.
      {"TextStringEmpty", {0xF0, 0x09, 0x11, 0xF7}, {""}},
      {"TextStringStopsAtZero", {0xF0, 0x09, 0x11, 'h', 'i', 0x00, 'x', 0xF7}, {"hi"}},
      {"TextStringKeepsControlBytes", {0xF0, 0x09, 0x11, 'o', 'k', 0x0D, 0x01, 0xF7}, {"ok\r\x01"}},
      // Fixed notices ignore their payload.
      {"FixedNotices",
       Cat({{0xF0, 0x09, 0x12, 0xF7},
            {0xF0, 0x09, 0x13, 'A', 'B', 0xF7},
            {0xF0, 0x09, 0x27, 0xF7},
            {0xF0, 0x09, 0x2A, 0x01, 0x02, 0xF7},
            {0xF0, 0x09, 0x45, 0xF7}}),
       {"ascii 8 bit one char per command", "ascii 8 bit string", "eeprom echo test no argument",
        "eeprom dump no argument", "45 ACCESS XTABLE Request Ignored "}},
      // Scan dumps: complete groups of 16 only.
      {"ScanDump0", ScanDump(CountingValues(0)), {"Scan Dump"}},
      {"ScanDump16", ScanDump(CountingValues(16)), {"Scan Dump", kSixteenF}},
      {"ScanDump17", ScanDump(CountingValues(17)), {"Scan Dump", kSixteenF}},
      {"ScanDump31", ScanDump(CountingValues(31)), {"Scan Dump", kSixteenF}},
      {"ScanDump32", ScanDump(CountingValues(32)), {"Scan Dump", kSixteenF, kSixteen0}},
      {"ScanDumpShortHeader", {0xF0, 0x09, 0x15, 0x01, 0xF7}, {"Scan Dump"}},
      // EEPROM peek and poke.
      {"PeekRequest",
       {0xF0, 0x09, 0x2F, 0x0D, 0x0C, 0x0B, 0x0A, 0xF7},
       {"EEPROM PEEK request length abcd "}},
      {"PeekRequestReadsF7AndZeros",
       {0xF0, 0x09, 0x2F, 0xF7},
       {"EEPROM PEEK request length 0007 "}},
      {"PeekRequestReadsBytesLeftByEarlierMessage",
       Cat({{0xF0, 0x09, 0x11, 'A', 'B', 'C', 0xF7}, {0xF0, 0x09, 0x2F, 0xF7}}),
       {"ABC", "EEPROM PEEK request length 7327 "}},
      {"PeekAcknowledgeExample",
       {0xF0, 0x09, 0x30, 0x0E, 0x0D, 0x0C, 0x0B, 0x0A, 0x00, 0x01, 0x00, 0x00, 0x0F, 0x0A, 0x03,
        0xF7},
       {"EEPROM PEEK Acknowledge address ABCDE length 0010", " AF 73"}},
      {"PeekAcknowledge0",
       AddressedMessage(0x30, 0, 0, {}),
       {"EEPROM PEEK Acknowledge address 00000 length 0000", ""}},
      {"PeekAcknowledge16",
       AddressedMessage(0x30, 0x12345, 0x10, CountingValues(16)),
       {"EEPROM PEEK Acknowledge address 12345 length 0010", kSixteenF, ""}},
      {"PeekAcknowledge17",
       AddressedMessage(0x30, 0xFFFFF, 0xFFFF, CountingValues(17)),
       {"EEPROM PEEK Acknowledge address FFFFF length FFFF", kSixteenF, " 00"}},
      {"PeekAcknowledgeLengthFieldOnlyShown",
       AddressedMessage(0x30, 0x00A00, 0x10, CountingValues(3)),
       {"EEPROM PEEK Acknowledge address 00A00 length 0010", " F0 F1 F2"}},
      {"PeekAcknowledgeOddTailTakesF7Nibble",
       Cat({{0xF0, 0x09, 0x30}, Nibbles(1, 5), Nibbles(2, 4), {0x3A, 0x45, 0x01, 0xF7}}),
       {"EEPROM PEEK Acknowledge address 00001 length 0002", " 5A 71"}},
      {"PokeRequest0",
       AddressedMessage(0x31, 0, 0, {}),
       {"EEPROM POKE Request address 00000 length 0000"}},
      {"PokeRequestSmallValue",
       AddressedMessage(0x31, 0, 1, {0x05}),
       {"EEPROM POKE Request address 00000 length 0001  5"}},
      {"PokeRequestValues",
       AddressedMessage(0x31, 0xABCDE, 4, {0xAF, 0x05, 0x10, 0x00}),
       {"EEPROM POKE Request address ABCDE length 0004 af  5 10  0"}},
      {"PokeAcknowledge",
       {0xF0, 0x09, 0x32, 0x0D, 0x0C, 0x0B, 0x0A, 0xF7},
       {"EEPROM POKE Acknowledge length abcd"}},
      {"PokeAcknowledgeShort",
       {0xF0, 0x09, 0x32, 0x01, 0xF7},
       {"EEPROM POKE Acknowledge length 0071"}},
      // Parameter reports.
      {"Parameter43Example",
       {0xF0, 0x09, 0x43, 0x05, 0x01, 0x7F, 0x00, 0x41, 0x42, 0xF7},
       {"43  parameter#: 133 value 127 AB"}},
      {"Parameter44Example",
       {0xF0, 0x09, 0x44, 0x05, 0x01, 0x7F, 0x00, 0x41, 0x42, 0xF7},
       {"44 parameter#: 133 value: 127 AB"}},
      {"Parameter43ZeroAtText",
       {0xF0, 0x09, 0x43, 0x05, 0x01, 0x7F, 0x00, 0x00, 0x41, 0xF7},
       {"43  parameter#: 133 value 127 "}},
      {"Parameter43F7AtText",
       {0xF0, 0x09, 0x43, 0x05, 0x01, 0x7F, 0x00, 0xF7},
       {"43  parameter#: 133 value 127 "}},
      {"Parameter44MaskedMaximumAndZeroInText",
       {0xF0, 0x09, 0x44, 0xFF, 0xFF, 0x7F, 0x7F, 'A', 0x00, 'B', 0xF7},
       {"44 parameter#: 16383 value: 16383 A"}},
      {"Parameter44TextKeepsCr",
       {0xF0, 0x09, 0x44, 0, 0, 0, 0, 'o', 'k', 0x0D, 0xF7},
       {"44 parameter#: 000 value: 000 ok\r"}},
      {"Parameter43ReadsF7", {0xF0, 0x09, 0x43, 0xF7}, {"43  parameter#: 119 value 000 "}},
      // Everything else: the default line with the first three bytes.
      {"DefaultUnlistedCommands",
       Cat({{0xF0, 0x09, 0x14, 0xF7},
            {0xF0, 0x09, 0x16, 0xF7},
            {0xF0, 0x09, 0x28, 0xF7},
            {0xF0, 0x09, 0x2E, 0xF7},
            {0xF0, 0x09, 0x33, 0xF7},
            {0xF0, 0x09, 0x42, 0xF7},
            {0xF0, 0x09, 0x46, 0xF7},
            {0xF0, 0x09, 0x0F, 0xF7}}),
       {"unimplemented or undefined kelvardt/brantle sysex number f00914",
        "unimplemented or undefined kelvardt/brantle sysex number f00916",
        "unimplemented or undefined kelvardt/brantle sysex number f00928",
        "unimplemented or undefined kelvardt/brantle sysex number f0092e",
        "unimplemented or undefined kelvardt/brantle sysex number f00933",
        "unimplemented or undefined kelvardt/brantle sysex number f00942",
        "unimplemented or undefined kelvardt/brantle sysex number f00946",
        "unimplemented or undefined kelvardt/brantle sysex number f0090f"}},
      {"DefaultOtherManufacturerOrNoF0",
       Cat({{0xF0, 0x7E, 0x09, 0x10, 'A', 0xF7},
            {0x05, 0x01, 0x02, 0xF7},
            {0x00, 0x00, 0x01, 0xF7}}),
       {"unimplemented or undefined kelvardt/brantle sysex number f07e09",
        "unimplemented or undefined kelvardt/brantle sysex number  50102",
        "unimplemented or undefined kelvardt/brantle sysex number      1"}},
      {"DefaultShortMessages",
       Cat({{0xF0, 0xF7}, {0xF0, 0x09, 0xF7}}),
       {"unimplemented or undefined kelvardt/brantle sysex number f0f700",
        "unimplemented or undefined kelvardt/brantle sysex number f009f7"}},
      {"LoneF7AtStart",
       {0xF7},
       {"unimplemented or undefined kelvardt/brantle sysex number f70000"}},
      {"LoneF7AfterMessage",
       {0xF0, 0x09, 0x2A, 0xF7, 0xF7},
       {"eeprom dump no argument",
        "unimplemented or undefined kelvardt/brantle sysex number f7092a"}},
      // A lost F7: the next message's bytes are payload of the first.
      {"LostF7JoinsTextString",
       Cat({{0xF0, 0x09, 0x11, 'A', 'B'}, {0xF0, 0x09, 0x12, 0xF7}}),
       {"AB\xF0\x09\x12"}},
      {"LostF7JoinsUnderFirstCommand",
       Cat({{0xF0, 0x09, 0x27, 'A'}, AddressedMessage(0x30, 1, 1, {1}), {0xF0, 0x09, 0x2A, 0xF7}}),
       {"eeprom echo test no argument", "eeprom dump no argument"}},
  };
  return cases;
}

class SysexDecodeTest : public testing::TestWithParam<DecodeCase> {};

// Through the queue and one drain, as the monitor runs.
TEST_P(SysexDecodeTest, WholeInputInOneDrain) {
  auto rig = MakeRig();
  rig->Feed(GetParam().input);
  EXPECT_EQ(rig->Lines(), GetParam().lines);
  EXPECT_EQ(rig->stopRequest.load(), 0u);
}

// Assembly across runs: the same lines whatever the pieces the bytes come in.
TEST_P(SysexDecodeTest, OneByteAtATime) {
  auto rig = MakeRig();
  for (uint8_t b : GetParam().input) rig->decoder.Consume(&b, 1);
  EXPECT_EQ(rig->Lines(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Commands, SysexDecodeTest, testing::ValuesIn(DecodeCases()),
                         [](const testing::TestParamInfo<DecodeCase>& info) {
                           return info.param.name;
                         });

TEST(SysexDecoderTest, MessageSplitOverTwoDrainsIsDecodedOnceInTheSecond) {
  auto rig = MakeRig();
  rig->Write({0xF0, 0x09, 0x30, 0x0E, 0x0D, 0x0C, 0x0B});
  rig->Drain();
  EXPECT_EQ(rig->list.Count(), 0u);
  EXPECT_EQ(rig->decoder.state().assemblyLength, 7);
  rig->Write({0x0A, 0x00, 0x01, 0x00, 0x00, 0x0F, 0x0A, 0x03, 0xF7});
  rig->Drain();
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{
                              "EEPROM PEEK Acknowledge address ABCDE length 0010", " AF 73"}));
  EXPECT_EQ(rig->decoder.state().assemblyLength, 0);
}

TEST(SysexDecoderTest, TextStreamLineKeptAcrossDrains) {
  auto rig = MakeRig();
  rig->Feed(Cat({TextChar('o'), TextChar('n')}));
  rig->Feed(ScanDump(CountingValues(0)));
  rig->Feed(Cat({TextChar('e'), TextChar(0x0A)}));
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{"Scan Dump", "one"}));
  EXPECT_EQ(rig->decoder.state().textStreamLength, 0);
}

TEST(SysexDecoderTest, ScanValuesHoldTheLatestDumpFromEntryZero) {
  auto rig = MakeRig();
  rig->Feed(ScanDump({0x11, 0x22, 0x33, 0x44, 0x55}));
  // Three values, the last with the F7's nibble as its high nibble.
  rig->Feed(Cat(
      {{0xF0, 0x09, 0x15}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, DataBytes({0xA0, 0x0B}), {0x0C, 0xF7}}));
  const int32_t* values = rig->decoder.state().scanValues;
  EXPECT_EQ((std::vector<int32_t>(values, values + 6)),
            (std::vector<int32_t>{0xA0, 0x0B, 0x7C, 0x44, 0x55, 0x00}));
}

// Past the limits of the buffers nothing is lost: lines continue, long dumps show everything.
TEST(SysexDecoderLimitsTest, TextStreamContinuesAfter1023Characters) {
  auto rig = MakeRig();
  Bytes input;
  for (int i = 0; i < 1023; ++i) input = Cat({input, TextChar('y')});
  input = Cat({input, TextChar(0x0A)});
  for (int i = 0; i < 1025; ++i) input = Cat({input, TextChar('x')});
  input = Cat({input, TextChar(0x0A)});
  rig->Feed(input);
  EXPECT_EQ(rig->Lines(),
            (std::vector<std::string>{std::string(1023, 'y'), std::string(1023, 'x'), "xx"}));
}

TEST(SysexDecoderLimitsTest, LongTextStringContinuesOnNextLines) {
  auto rig = MakeRig();
  rig->Feed(Cat({{0xF0, 0x09, 0x11}, Repeat('T', 2100), {0xF7}}));
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{std::string(1023, 'T'), std::string(1023, 'T'),
                                                    std::string(54, 'T')}));
}

TEST(SysexDecoderLimitsTest, LongPokeRequestContinuesOnNextLine) {
  auto rig = MakeRig();
  rig->Feed(AddressedMessage(0x31, 0x00100, 400, std::vector<uint8_t>(400, 0xFF)));
  // 45 + 326 * 3 = 1023 characters, then the other 74 fields.
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{
                              "EEPROM POKE Request address 00100 length 0190" + Repeat(" ff", 326),
                              Repeat(" ff", 74)}));
}

TEST(SysexDecoderLimitsTest, ScanDumpLongerThanScanValuesShowsEveryCompleteGroup) {
  auto rig = MakeRig();
  rig->Feed(ScanDump(CountingValues(300)));
  const std::vector<std::string> lines = rig->Lines();
  ASSERT_EQ(lines.size(), 19u);  // "Scan Dump" and 18 groups; the last 12 values are no group
  EXPECT_EQ(lines[0], "Scan Dump");
  EXPECT_EQ(lines[1], kSixteenF);
  EXPECT_EQ(lines[2], kSixteen0);
  EXPECT_EQ(lines[17], " F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF");
  EXPECT_EQ(lines[18], " 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
  EXPECT_EQ(rig->decoder.state().scanValues[255], 0xEF);
}

TEST(SysexDecoderLimitsTest, MessageLongerThanAssemblyIsDecodedFromWhatFitsAndCounted) {
  auto rig = MakeRig();
  // 8191 bytes before the F7 fit exactly: 8188 characters of text, no notice.
  rig->Feed(Cat({{0xF0, 0x09, 0x11}, Repeat('B', 8188), {0xF7}}));
  // 9003 bytes: the last 812 are not shown.
  rig->Feed(Cat({{0xF0, 0x09, 0x11}, Repeat('A', 9000), {0xF7}}));
  // The next message is whole again.
  rig->Feed({0xF0, 0x09, 0x2A, 0xF7});
  std::vector<std::string> expected;
  for (int i = 0; i < 8; ++i) expected.push_back(std::string(1023, 'B'));
  expected.push_back("BBBB");
  for (int i = 0; i < 8; ++i) expected.push_back(std::string(1023, 'A'));
  expected.push_back("AAAA");
  expected.push_back("sysex message too long, bytes not shown: 812");
  expected.push_back("eeprom dump no argument");
  EXPECT_EQ(rig->Lines(), expected);
}

TEST(SysexDecoderLimitsTest, OneByteTooManyIsCounted) {
  auto rig = MakeRig();
  rig->Feed(Cat({{0xF0, 0x09, 0x12}, Repeat(0x00, 8189), {0xF7}}));
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{"ascii 8 bit one char per command",
                                                    "sysex message too long, bytes not shown: 1"}));
}

// An overflow of the queue: one line, the torn message dropped, the tail skipped up to the
// next F0, and a stop requested.
TEST(SysexDecoderOverflowTest, TornMessageDroppedAndQueueResynchronised) {
  auto rig = MakeRig();
  rig->Write(Cat({{0xF0, 0x09, 0x11}, Repeat('A', 7997)}));  // 8000 bytes, no F7 yet
  rig->Write(Repeat('B', 500));                              // 192 stored, 308 dropped
  rig->Drain();
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{"SysexQ overflow shutting down"}));
  EXPECT_EQ(rig->stopRequest.load(), 1u);
  EXPECT_EQ(rig->decoder.state().assemblyLength, 0);

  // The tail of the torn message, its F7 included, is skipped; the next message decodes.
  rig->Write(Cat({{'C', 'C', 0xF7, 0x00, 0xF7}, {0xF0, 0x09, 0x2A, 0xF7}}));
  rig->Drain();
  rig->Drain();
  EXPECT_EQ(rig->Lines(),
            (std::vector<std::string>{"SysexQ overflow shutting down", "eeprom dump no argument"}));
}

TEST(SysexDecoderOverflowTest, MessagesBeforeTheGapAreDecodedAndEachOverflowReportedOnce) {
  auto rig = MakeRig();
  rig->Write(Cat({{0xF0, 0x09, 0x2A, 0xF7}, {0xF0, 0x09, 0x11}, Repeat('A', 8185)}));  // 8192
  rig->Write({0xF7});                                                                  // dropped
  rig->Drain();
  rig->stopRequest.store(0);  // the callback clears it once the buffer is released
  rig->Drain();
  EXPECT_EQ(rig->stopRequest.load(), 0u);
  rig->Write(Cat({{0xF0, 0x09, 0x12, 0xF7}, Repeat(0x01, 8188)}));
  rig->Write({0xF0, 0x09, 0x13, 0xF7});  // dropped
  rig->Write({0xF0, 0x09, 0x27, 0xF7});  // dropped too: the writer waits for the drain
  rig->Drain();
  rig->Write({0xF0, 0x09, 0x45, 0xF7});
  rig->Drain();
  EXPECT_EQ(rig->Lines(), (std::vector<std::string>{
                              "eeprom dump no argument", "SysexQ overflow shutting down",
                              "ascii 8 bit one char per command", "SysexQ overflow shutting down",
                              "45 ACCESS XTABLE Request Ignored "}));
  EXPECT_EQ(rig->stopRequest.load(), 1u);
}

}  // namespace
}  // namespace tessaly
