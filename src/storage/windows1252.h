#pragma once

// Preset names travel as single bytes in Windows-1252, whatever the platform the editor
// runs on. The editor shows and edits them as UTF-8; these functions convert both ways
// so that what is stored in the processor is exactly what the name box showed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

// U+FFFD for the five bytes Windows-1252 leaves unassigned (81, 8D, 8F, 90, 9D).
char32_t Windows1252ToUnicode(std::uint8_t byte);
// The byte of a character, or none when Windows-1252 cannot encode it (or it is U+0000).
std::optional<std::uint8_t> UnicodeToWindows1252(char32_t code_point);

// Bytes to UTF-8 text.
std::string DecodeWindows1252(std::string_view bytes);
// UTF-8 text to bytes; none when the text is not valid UTF-8 or holds a character that
// Windows-1252 cannot encode.
std::optional<std::string> EncodeWindows1252(std::string_view utf8);

}  // namespace veltrane
