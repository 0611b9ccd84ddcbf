#include "display/list_copy.h"

#include <charconv>
#include <string_view>

namespace tessaly {
namespace {

constexpr std::string_view kItem = "item";
constexpr std::string_view kSeparator = ": ";
constexpr std::string_view kLineEnd = "\r\n";
// "%4d": at least four characters, blanks in front.
constexpr size_t kNumberWidth = 4;

size_t DigitCount(size_t n) {
  size_t digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return digits;
}

size_t FramingSize(size_t lineNumber) {
  const size_t digits = DigitCount(lineNumber);
  return kItem.size() + (digits < kNumberWidth ? kNumberWidth : digits) + kSeparator.size() +
         kLineEnd.size();
}

}  // namespace

size_t CopyListTextSize(const OutputList& list) {
  size_t size = 0;
  for (size_t i = 0; i < list.Count(); ++i) size += FramingSize(i) + list.LineLength(i);
  return size;
}

std::string CopyListText(const OutputList& list) {
  std::string text;
  text.reserve(CopyListTextSize(list));
  char digits[24];
  for (size_t i = 0; i < list.Count(); ++i) {
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, i);
    (void)error;  // 24 places hold any size_t
    const size_t length = static_cast<size_t>(end - digits);
    text.append(kItem);
    if (length < kNumberWidth) text.append(kNumberWidth - length, ' ');
    text.append(digits, length);
    text.append(kSeparator);
    text.append(list.Line(i));
    text.append(kLineEnd);
  }
  return text;
}

}  // namespace tessaly
