#include "storage/image_text.h"

#include "storage/file_store.h"

namespace veltrane {

std::string JoinLines(std::string_view text) {
  std::string joined;
  joined.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') joined.push_back(c);
  }
  return joined;
}

bool IsPresetFileText(std::string_view joined) {
  return joined.size() == kImageTextLength && IsHexText(joined);
}

bool IsBackupText(std::string_view joined) {
  return joined.size() == kBackupTextLength && IsHexText(joined);
}

std::string FileLines(std::span<const std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string CannotReadMessage(std::string_view path, std::string_view reason) {
  return "Cannot read \"" + std::string(path) + "\": " + std::string(reason);
}

std::string CannotSaveMessage(std::string_view path, std::string_view reason) {
  return "Cannot save \"" + std::string(path) + "\": " + std::string(reason);
}

CheckedFile ReadImageFile(FileStore& files, const std::string& path, bool backup) {
  const FileReadResult read = files.Read(path, backup ? kBackupFileMaxBytes : kPresetFileMaxBytes);
  if (read.status == FileReadResult::Status::kError) {
    return {{}, CannotReadMessage(path, read.error)};
  }
  std::string joined = JoinLines(read.text);
  const bool sound = read.status == FileReadResult::Status::kOk &&
                     (backup ? IsBackupText(joined) : IsPresetFileText(joined));
  if (!sound) return {{}, std::string(kMsgFileDamaged), true};
  return {std::move(joined), {}};
}

}  // namespace veltrane
