#include "cli/qt_environment.h"

#include "link/port_list.h"

namespace veltrane {

std::unique_ptr<HidBackend> QtCtlEnvironment::CreateHidBackend() { return CreateHidapiBackend(); }

std::vector<std::string> QtCtlEnvironment::SerialPorts() { return ListSerialPorts(); }

}  // namespace veltrane
