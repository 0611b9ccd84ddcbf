// The rules of the device family's commands: one per command byte, each appending its lines
// for the message in the assembly (F7 at position `length`).
#include <string_view>

#include "display/number_text.h"
#include "display/sysex_command.h"
#include "display/sysex_decoder.h"
#include "display/sysex_fields.h"

namespace tessaly {
namespace {

constexpr char kLineFeed = 0x0A;
constexpr int kValuesPerLine = 16;

// Positions of the fields.
constexpr int kPayload = 3;
constexpr int kAddress = 3;         // 5 nibble digits
constexpr int kPeekPokeLength = 8;  // 4 nibble digits after the address
constexpr int kLength = 3;          // 4 nibble digits when no address comes first
constexpr int kParameter = 3;       // 14 bits
constexpr int kParameterValue = 5;  // 14 bits
constexpr int kParameterText = 7;

// The per-value fields of the dump lines.
enum class ValueField { kUpperHex, kLowerHex };

// Adds the field of each of `count` data values, the first at assembly position `position` and
// each next two bytes on, to `line`: " %02X" or " %2x", sixteen at a time in one piece, no
// printf call per value. The style is fixed at compile time, so the loop has no choice in it.
template <ValueField kField>
void AddValueFields(LineBuilder& line, const uint8_t* assembly, int position, int count) {
  constexpr bool kUpper = kField == ValueField::kUpperHex;
  constexpr int kBatch = 16;
  char batch[kBatch * 3];
  while (count > 0) {
    const int n = count < kBatch ? count : kBatch;
    char* at = batch;
    for (int i = 0; i < n; ++i) {
      *at++ = ' ';
      at = PutHexByte(at, DataValue(assembly, position + 2 * i),
                      kUpper ? kUpperHexDigits : kLowerHexDigits, kUpper ? '0' : ' ');
    }
    line.AddWritten(std::string_view(batch, static_cast<size_t>(at - batch)));
    position += 2 * n;
    count -= n;
  }
}

}  // namespace

void SysexDecoder::DecodeSysexMessage() {
  const int length = state_.assemblyLength;
  const uint32_t sysexNumber = SysexNumber(state_.sysexAssembly);
  const std::optional<SysexCommand> command = FindSysexCommand(sysexNumber);
  if (!command) {
    Default(sysexNumber);
    return;
  }
  // A listed command has F0 09 and its byte before the F7, so length is at least 3 here.
  switch (*command) {
    case SysexCommand::TextChar:
      return TextChar();
    case SysexCommand::TextString:
      return TextString(length);
    case SysexCommand::ScanDump:
      return ScanDump(length);
    case SysexCommand::EepromPeekRequest:
      return EepromPeekRequest();
    case SysexCommand::EepromPeekAcknowledge:
      return EepromPeekAcknowledge(length);
    case SysexCommand::EepromPokeRequest:
      return EepromPokeRequest(length);
    case SysexCommand::EepromPokeAcknowledge:
      return EepromPokeAcknowledge();
    case SysexCommand::Parameter43:
      return Parameter(length, false);
    case SysexCommand::Parameter44:
      return Parameter(length, true);
    case SysexCommand::Ascii8BitChar:
    case SysexCommand::Ascii8BitString:
    case SysexCommand::EepromEchoTest:
    case SysexCommand::EepromDump:
    case SysexCommand::AccessXtableRequest:
      return sysexList_.AppendLine(SysexNoticeOf(*command));
  }
}

void SysexDecoder::TextChar() {
  // Position 3 is the F7 itself (0xF7) when the message has no payload.
  const auto c = static_cast<char>(state_.sysexAssembly[kPayload]);
  SysexDecoderState& s = state_;
  if (c == kLineFeed) {
    // The line ends before the LF, and shows up to its first zero character.
    sysexList_.AppendLine(
        std::string_view(s.textStreamLine, static_cast<size_t>(s.textStreamLength)));
    s.textStreamLength = 0;
    return;
  }
  if (s.textStreamLength == kTextStreamLineSize - 1) {
    // A full line without LF goes out as it stands and the text continues on the next.
    sysexList_.AppendLine(
        std::string_view(s.textStreamLine, static_cast<size_t>(s.textStreamLength)));
    s.textStreamLength = 0;
  }
  s.textStreamLine[s.textStreamLength++] = c;
}

void SysexDecoder::TextString(int length) {
  // Add stops at the first zero byte; a longer text continues on the next line.
  const auto* text = reinterpret_cast<const char*>(state_.sysexAssembly + kPayload);
  line_.Add(std::string_view(text, static_cast<size_t>(length - kPayload)));
  line_.Finish();
}

void SysexDecoder::ScanDump(int length) {
  const uint8_t* a = state_.sysexAssembly;
  const int count = DataValueCount(length);
  const int kept = count < kScanValuesSize ? count : kScanValuesSize;
  for (int i = 0; i < kept; ++i) state_.scanValues[i] = DataValue(a, kFirstDataValue + 2 * i);
  sysexList_.AppendLine(kScanDumpLine);
  // Complete groups of 16 only: a last shorter group is not shown. The groups of a dump longer
  // than scanValues are shown all the same.
  for (int group = 0; group < count / kValuesPerLine; ++group) {
    AddValueFields<ValueField::kUpperHex>(line_, a, kFirstDataValue + 2 * kValuesPerLine * group,
                                          kValuesPerLine);
    line_.Finish();
  }
}

void SysexDecoder::EepromPeekRequest() {
  line_.Format("EEPROM PEEK request length %04x ", NibbleNumber(state_.sysexAssembly, kLength, 4));
  line_.Finish();
}

void SysexDecoder::EepromPeekAcknowledge(int length) {
  const uint8_t* a = state_.sysexAssembly;
  // The length field is only shown: the count of values follows from the message length.
  line_.Format("EEPROM PEEK Acknowledge address %05X length %04X", NibbleNumber(a, kAddress, 5),
               NibbleNumber(a, kPeekPokeLength, 4));
  line_.Finish();
  const int count = DataValueCount(length);
  const int groups = count / kValuesPerLine;
  for (int group = 0; group < groups; ++group) {
    AddValueFields<ValueField::kUpperHex>(line_, a, kFirstDataValue + 2 * kValuesPerLine * group,
                                          kValuesPerLine);
    line_.Finish();
  }
  // The rest, and an empty line when there is none.
  AddValueFields<ValueField::kUpperHex>(line_, a, kFirstDataValue + 2 * kValuesPerLine * groups,
                                        count % kValuesPerLine);
  line_.Finish();
}

void SysexDecoder::EepromPokeRequest(int length) {
  const uint8_t* a = state_.sysexAssembly;
  line_.Format("EEPROM POKE Request address %05X length %04X", NibbleNumber(a, kAddress, 5),
               NibbleNumber(a, kPeekPokeLength, 4));
  AddValueFields<ValueField::kLowerHex>(line_, a, kFirstDataValue, DataValueCount(length));
  line_.Finish();
}

void SysexDecoder::EepromPokeAcknowledge() {
  line_.Format("EEPROM POKE Acknowledge length %04x",
               NibbleNumber(state_.sysexAssembly, kLength, 4));
  line_.Finish();
}

void SysexDecoder::Parameter(int length, bool parameter44) {
  const uint8_t* a = state_.sysexAssembly;
  const auto parameter = static_cast<int>(Number14(a, kParameter));
  const auto value = static_cast<int>(Number14(a, kParameterValue));
  if (parameter44) {
    line_.Format("44 parameter#: %03d value: %03d ", parameter, value);
  } else {
    line_.Format("43  parameter#: %03d value %03d ", parameter, value);
  }
  // The text runs up to the F7 and stops at a zero byte (Add does); none when the message
  // ends at position 7 or before.
  if (length > kParameterText) {
    const auto* text = reinterpret_cast<const char*>(a + kParameterText);
    line_.Add(std::string_view(text, static_cast<size_t>(length - kParameterText)));
  }
  line_.Finish();
}

void SysexDecoder::Default(uint32_t sysexNumber) {
  line_.Format("unimplemented or undefined kelvardt/brantle sysex number %6x", sysexNumber);
  line_.Finish();
}

}  // namespace tessaly
