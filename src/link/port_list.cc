#include "link/port_list.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

namespace veltrane {
namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return std::tolower(c); };
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [&](unsigned char x, unsigned char y) { return lower(x) < lower(y); });
}

}  // namespace

std::string PortListName(const std::string& system_location) {
  constexpr std::string_view kDeviceNamespace = "\\\\.\\";
  if (system_location.starts_with(kDeviceNamespace)) {
    return system_location.substr(kDeviceNamespace.size());
  }
  return system_location;
}

std::vector<std::string> ListSerialPorts(const std::vector<std::string>& extra_paths) {
  std::vector<std::string> names;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    names.push_back(PortListName(info.systemLocation().toStdString()));
  }
  for (const std::string& path : extra_paths) names.push_back(PortListName(path));
  SortPortNames(names);
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

void SortPortNames(std::vector<std::string>& names) {
  // Names equal but for case keep a fixed order so that the refresh sees no change.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    if (LessIgnoringCase(a, b)) return true;
    if (LessIgnoringCase(b, a)) return false;
    return a < b;
  });
}

std::vector<int> PortNumbers(const std::vector<std::string>& names) {
  std::vector<int> numbers;
  numbers.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const bool com_name = name.size() >= 3 &&
                          std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
                          std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
                          std::toupper(static_cast<unsigned char>(name[2])) == 'M';
    if (!com_name) {
      numbers.push_back(static_cast<int>(i) + 1);
      continue;
    }
    int n = 0;
    const char* first = name.data() + 3;
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, n);
    numbers.push_back(ec == std::errc() && end == last && first != last ? n : 0);
  }
  return numbers;
}

bool PortList::Refresh() {
  std::vector<std::string> names = enumerate_();
  SortPortNames(names);
  if (names == names_) return false;
  names_ = std::move(names);
  numbers_ = PortNumbers(names_);
  selected_ = static_cast<int>(names_.size()) - 1;
  return true;
}

bool PortList::Select(const std::string& name) {
  const auto it = std::find(names_.begin(), names_.end(), name);
  if (it == names_.end()) return false;
  selected_ = static_cast<int>(it - names_.begin());
  return true;
}

}  // namespace veltrane
