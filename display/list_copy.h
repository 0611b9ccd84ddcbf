#pragma once

#include <cstddef>
#include <string>

#include "display/output_list.h"

// The clipboard text of a list: one "item%4d: %s\r\n" line per list line, oldest first, and
// nothing else, so an empty list gives an empty text. Lines of any length are copied whole.
// Window thread only (it reads the list).
namespace tessaly {

// Bytes of the text, found from the line lengths alone.
size_t CopyListTextSize(const OutputList& list);

// The text, built in one allocation of exactly CopyListTextSize bytes.
std::string CopyListText(const OutputList& list);

}  // namespace tessaly
