#include "capture/port_control.h"

namespace tessaly {

PortControl::PortControl(CaptureState& state, PortHost& host)
    : state_(state), service_(state.service), host_(host) {
  portCount_ = service_.GetNumDevs();
}

void PortControl::OpenPort() {}
void PortControl::StartInput() {}
void PortControl::PrepareHeader() {}
void PortControl::AddBuffer() {}
void PortControl::StopInput() {}
void PortControl::ResetInput() {}
void PortControl::UnprepareBuffer() {}
void PortControl::ClosePort() {}
void PortControl::ReopenPort() {}
void PortControl::ShutdownPort() {}
void PortControl::NextPort() {}
void PortControl::PreviousPort() {}
void PortControl::Report(std::string_view, MidiResult) {}
void PortControl::QueryCapabilities() {}

}  // namespace tessaly
