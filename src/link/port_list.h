#pragma once

// The serial port list beside "COM：": port names sorted without regard to case, the last
// one preselected, and a number for each entry.

#include <functional>
#include <string>
#include <vector>

namespace veltrane {

// The machine's serial ports (system locations such as /dev/ttyUSB0) plus `extra_paths`
// (devices Qt does not enumerate, such as pseudo-terminals), sorted, without duplicates.
std::vector<std::string> ListSerialPorts(const std::vector<std::string>& extra_paths = {});

// The name a port is listed under: its system location without the Windows device-namespace
// prefix, so that \\.\COM10 is listed as COM10 (and numbered 10); QSerialPort opens either.
std::string PortListName(const std::string& system_location);

// Alphabetical without regard to case, so COM10 comes before COM2.
void SortPortNames(std::vector<std::string>& names);

// The number of each entry: for "COMn" (any case) the decimal n from the fourth character on (0
// when that is not a number); any other name gets its 1-based position in the list, so that a port
// such as /dev/ttyUSB0 never gets the 0 that means a failed open.
std::vector<int> PortNumbers(const std::vector<std::string>& names);

// The visible list and its refresh: a new enumeration replaces it only when it differs.
class PortList {
 public:
  using Enumerator = std::function<std::vector<std::string>()>;

  explicit PortList(Enumerator enumerate) : enumerate_(std::move(enumerate)) {}

  // Reads the ports again; true when the list changed (it then selects its last entry).
  bool Refresh();
  // Selects the entry named `name`; false when the list has none.
  bool Select(const std::string& name);

  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<int>& Numbers() const { return numbers_; }
  // -1 while the list is empty.
  int Selected() const { return selected_; }
  void SetSelected(int index) { selected_ = index; }

 private:
  Enumerator enumerate_;
  std::vector<std::string> names_;
  std::vector<int> numbers_;
  int selected_ = -1;
};

}  // namespace veltrane
