#include "storage/image_text.h"

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

}  // namespace veltrane
