#pragma once

// Files on the PC through Qt: reads refuse what is larger than the caller allows before
// reading it, writes go through QSaveFile (a temporary file in the same folder, flushed
// to disk and renamed over the target), so a failed write leaves an earlier file intact.

#include "storage/file_store.h"

namespace veltrane {

class QtFileStore : public FileStore {
 public:
  FileReadResult Read(const std::string& path, std::size_t max_bytes) override;
  std::string WriteAtomically(const std::string& path, std::string_view text) override;
};

}  // namespace veltrane
