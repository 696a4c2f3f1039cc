#include "link/hid_history.h"

#include <cstdio>

namespace veltrane {
namespace {

std::string FormatError(std::string_view prefix, const HidError& error) {
  char code[16];
  std::snprintf(code, sizeof(code), "%X", static_cast<unsigned>(error.code));
  std::string line(prefix);
  line += error.message;
  line += " (";
  line += code;
  line += ')';
  return line;
}

}  // namespace

std::string DeviceName(const HidDeviceInfo& info) {
  std::string name = info.product;
  if (name.empty()) {
    char text[32];
    std::snprintf(text, sizeof(text), "Device VID=%.4X PID=%.4X", info.vendor_id, info.product_id);
    name = text;
  }
  if (!info.serial.empty()) name += " (Serial=" + info.serial + ")";
  return name;
}

bool IsProcessorModel(const HidDeviceInfo& info) {
  return info.vendor_id == kProcessorVendorId && info.product_id == kProcessorProductId;
}

int FindProcessor(const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == kProcessorName) return static_cast<int>(i);
  }
  return -1;
}

std::string FormatWriteLine(std::span<const std::uint8_t> written) {
  std::string line;
  if (written.empty()) return line;
  line.reserve(5 + 3 * written.size());
  char text[8];
  std::snprintf(text, sizeof(text), "W %.2X  ", written[0]);
  line += text;
  for (std::size_t i = 1; i < written.size(); ++i) {
    std::snprintf(text, sizeof(text), "%.2X ", written[i]);
    line += text;
  }
  return line;
}

std::string FormatWriteError(const HidError& error) { return FormatError("WRITE ERROR: ", error); }

std::string FormatReadError(const HidError& error) { return FormatError("READ ERROR: ", error); }

}  // namespace veltrane
