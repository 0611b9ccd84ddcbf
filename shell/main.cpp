#include "capture/fake_midi_input_service.h"
#include "shell/window_main.h"

int main(int argc, char** argv) {
  tessaly::FakeMidiInputService service;
  return tessaly::RunWindow(argc, argv, service);
}
