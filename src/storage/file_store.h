#pragma once

// Files on the PC as the storage operations need them: read whole with a size limit, and
// written whole or not at all (a temporary file in the same folder, flushed, then renamed
// over the target), so that a failure never leaves a half-written preset or backup.

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane {

struct FileReadResult {
  enum class Status { kOk, kTooLarge, kError };
  Status status = Status::kError;
  std::string text;   // kOk: the file's bytes
  std::string error;  // kError: the system's reason
};

class FileStore {
 public:
  virtual ~FileStore() = default;
  // A file larger than max_bytes is refused without being read into memory.
  virtual FileReadResult Read(const std::string& path, std::size_t max_bytes) = 0;
  // Empty on success, otherwise the system's reason; an earlier file stays untouched.
  virtual std::string WriteAtomically(const std::string& path, std::string_view text) = 0;
};

}  // namespace veltrane
