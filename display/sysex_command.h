#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "capture/midi_constants.h"

// The command set of the manufacturer 0x09 device family: the byte at position 2 of a message
// that begins F0 09. Every other number, including command bytes in the range that are not
// listed here, takes the default rule.
namespace tessaly {

enum class SysexCommand : uint8_t {
  TextChar = 0x10,
  TextString = 0x11,
  Ascii8BitChar = 0x12,
  Ascii8BitString = 0x13,
  ScanDump = 0x15,
  EepromEchoTest = 0x27,
  EepromDump = 0x2A,
  EepromPeekRequest = 0x2F,
  EepromPeekAcknowledge = 0x30,
  EepromPokeRequest = 0x31,
  EepromPokeAcknowledge = 0x32,
  Parameter43 = 0x43,
  Parameter44 = 0x44,
  AccessXtableRequest = 0x45,
};

// The command selected by a whole sysex number (positions 0 to 2), or none for the default.
constexpr std::optional<SysexCommand> FindSysexCommand(uint32_t sysexNumber) {
  constexpr uint32_t kFamilyPrefix = (uint32_t{kSysexStart} << 8) | kDeviceFamilyId;
  if ((sysexNumber >> 8) != kFamilyPrefix) return std::nullopt;
  const auto command = static_cast<SysexCommand>(sysexNumber & 0xFF);
  switch (command) {
    case SysexCommand::TextChar:
    case SysexCommand::TextString:
    case SysexCommand::Ascii8BitChar:
    case SysexCommand::Ascii8BitString:
    case SysexCommand::ScanDump:
    case SysexCommand::EepromEchoTest:
    case SysexCommand::EepromDump:
    case SysexCommand::EepromPeekRequest:
    case SysexCommand::EepromPeekAcknowledge:
    case SysexCommand::EepromPokeRequest:
    case SysexCommand::EepromPokeAcknowledge:
    case SysexCommand::Parameter43:
    case SysexCommand::Parameter44:
    case SysexCommand::AccessXtableRequest:
      return command;
  }
  return std::nullopt;
}

// The commands whose rule is a fixed notice, shown as it stands whatever the payload.
struct SysexNotice {
  SysexCommand command;
  std::string_view line;
};
inline constexpr SysexNotice kSysexNotices[] = {
    {SysexCommand::Ascii8BitChar, "ascii 8 bit one char per command"},
    {SysexCommand::Ascii8BitString, "ascii 8 bit string"},
    {SysexCommand::EepromEchoTest, "eeprom echo test no argument"},
    {SysexCommand::EepromDump, "eeprom dump no argument"},
    {SysexCommand::AccessXtableRequest, "45 ACCESS XTABLE Request Ignored "},
};

// The notice of one of those commands (empty for any other).
constexpr std::string_view SysexNoticeOf(SysexCommand command) {
  for (const SysexNotice& notice : kSysexNotices) {
    if (notice.command == command) return notice.line;
  }
  return {};
}

// The first line of a scan dump, before its values.
inline constexpr std::string_view kScanDumpLine = "Scan Dump";

}  // namespace tessaly
