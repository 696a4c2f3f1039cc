#pragma once

// Why a user may not open a serial port, in words that say what to do about it.

#include <string>

namespace veltrane {

// For a port that could not be opened: when the user lacks read and write access to the
// device node, which group to join (the one the node grants both to, usually dialout) and
// that a new login is needed; empty when access is not the reason (a missing port, one
// that another program holds) and on systems without device nodes.
std::string SerialAccessNote(const std::string& port_name);

}  // namespace veltrane
