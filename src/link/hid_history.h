#pragma once

// Display names of HID devices, how the processor is recognised among them, and the lines
// of the HID traffic history. Hexadecimal digits are upper-case.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/hid_backend.h"

namespace veltrane {

inline constexpr std::uint16_t kProcessorVendorId = 1155;    // 0483
inline constexpr std::uint16_t kProcessorProductId = 22352;  // 5750
inline constexpr std::string_view kProcessorName = "HALVERNIQ (Serial=0000001)";
// Newest lines kept in the history: one line per report written would otherwise grow
// without bound over a long session.
inline constexpr std::size_t kHistoryLimit = 10000;

// The product string, or "Device VID=%.4X PID=%.4X" when it is empty; then
// " (Serial=%s)" when the serial string is not empty.
std::string DeviceName(const HidDeviceInfo& info);

bool IsProcessorModel(const HidDeviceInfo& info);

// Index of the first entry named exactly kProcessorName, -1 when there is none.
int FindProcessor(const std::vector<std::string>& names);

// "W %.2X  " for the report ID, then "%.2X " for each further byte written.
std::string FormatWriteLine(std::span<const std::uint8_t> written);
// "WRITE ERROR: %s (%X)" and "READ ERROR: %s (%X)".
std::string FormatWriteError(const HidError& error);
std::string FormatReadError(const HidError& error);

}  // namespace veltrane
