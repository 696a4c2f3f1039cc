#pragma once

// The preset file and the backup file as text: 1128 hex characters per image, one line
// each with CR LF; lines joined without their breaks when read.

#include <span>
#include <string>
#include <string_view>

#include "frame/frame_codec.h"

namespace veltrane {

inline constexpr std::size_t kBackupSlots = 20;
inline constexpr std::size_t kBackupTextLength = kBackupSlots * kImageTextLength;  // 22 560
// Anything larger cannot be a valid file, whatever its line breaks; it is not read.
inline constexpr std::size_t kPresetFileMaxBytes = 64 * 1024;
inline constexpr std::size_t kBackupFileMaxBytes = 1024 * 1024;

inline constexpr std::string_view kMsgFileDamaged = "File damaged.";

// The text without its line breaks (CR and LF).
std::string JoinLines(std::string_view text);
// Exactly 1128 characters, every pair a hex number (either case).
bool IsPresetFileText(std::string_view joined);
// Exactly 20 x 1128 characters, every pair a hex number.
bool IsBackupText(std::string_view joined);
// Each line followed by CR LF.
std::string FileLines(std::span<const std::string> lines);

// The messages for a file the system would not read or write: the file and the reason.
std::string CannotReadMessage(std::string_view path, std::string_view reason);
std::string CannotSaveMessage(std::string_view path, std::string_view reason);

class FileStore;

// A preset file (or, with `backup`, a 20-group file) read and checked: its text joined,
// or what to say instead ("File damaged.", or the file and the system's reason).
struct CheckedFile {
  std::string text;
  std::string error;     // empty when the file is sound
  bool damaged = false;  // read, but not a sound file of the kind asked for
};
CheckedFile ReadImageFile(FileStore& files, const std::string& path, bool backup);

}  // namespace veltrane
