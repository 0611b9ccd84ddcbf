#include "shell/window_main.h"

#include <cstdio>

namespace tessaly {

int RunWindow(int, char**, MidiInputService&) {
  std::fputs("tessaly: the window is not built yet\n", stderr);
  return 1;
}

}  // namespace tessaly
