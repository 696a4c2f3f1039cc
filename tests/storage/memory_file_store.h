#pragma once

#include <map>
#include <string>
#include <string_view>

#include "storage/file_store.h"

namespace veltrane::test {

// Files in memory; a path can be made to fail on reading or writing.
class MemoryFileStore : public FileStore {
 public:
  FileReadResult Read(const std::string& path, std::size_t max_bytes) override {
    FileReadResult result;
    const auto it = files.find(path);
    if (read_errors.count(path) != 0 || it == files.end()) {
      result.error = read_errors.count(path) != 0 ? read_errors.at(path) : "No such file";
      return result;
    }
    result.status = it->second.size() > max_bytes ? FileReadResult::Status::kTooLarge
                                                  : FileReadResult::Status::kOk;
    if (result.status == FileReadResult::Status::kOk) result.text = it->second;
    return result;
  }
  std::string WriteAtomically(const std::string& path, std::string_view text) override {
    if (write_errors.count(path) != 0) return write_errors.at(path);
    files[path] = std::string(text);
    return {};
  }

  std::map<std::string, std::string> files;
  std::map<std::string, std::string> read_errors;
  std::map<std::string, std::string> write_errors;
};

}  // namespace veltrane::test
