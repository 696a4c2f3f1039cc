#include "link/serial_access.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace veltrane {

std::string SerialAccessNote(const std::string& port_name) {
  // QSerialPort takes a bare name (ttyUSB0) to mean a node under /dev.
  const std::string path = port_name.rfind('/', 0) == 0 ? port_name : "/dev/" + port_name;
  // Qt reports a node the user may not open and one that another program holds exclusively
  // with the same error, so the node itself is asked, with the effective IDs as open uses.
  if (faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES) {
    return {};
  }
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return {};
  const group* node_group = getgrgid(node.st_gid);
  if ((node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || node_group == nullptr) {
    return "You may not open " + path +
           ", and no group may: ask whoever looks after this "
           "computer.";
  }
  const std::string group = node_group->gr_name;
  const passwd* me = getpwuid(geteuid());
  const std::string user = me != nullptr ? me->pw_name : "$USER";
  return "To open serial ports, join the group \"" + group + "\" (sudo usermod -aG " + group + " " +
         user + ") and log in again: a new group counts from the next login.";
}

}  // namespace veltrane

#else

namespace veltrane {

std::string SerialAccessNote(const std::string& /*port_name*/) { return {}; }

}  // namespace veltrane

#endif
