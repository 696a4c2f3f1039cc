#pragma once

// The text side of reading a measurement export: lines whatever their ends, fields whatever
// their separator, and numbers whatever their decimal mark, independent of the locale.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::measurement_text {

struct TextLine {
  std::string_view text;  // without its line end
  int number = 0;         // 1-based
};

// Lines ended by LF, CRLF or a lone CR; a UTF-8 byte order mark at the start is skipped.
class LineReader {
 public:
  explicit LineReader(std::string_view text);
  std::optional<TextLine> Next();

 private:
  std::string_view rest_;
  int number_ = 0;
  bool done_ = false;
};

// Text saved as UTF-16 (with its byte order mark, as some Windows programs save "Unicode"
// text) turned into UTF-8, characters beyond ASCII as '?'; nullopt for any other text.
std::optional<std::string> FromUtf16(std::string_view text);

std::string_view Trim(std::string_view text);

using FieldList = std::vector<std::string_view>;

// The fields of a trimmed line, each trimmed and without surrounding double quotes. A
// semicolon separates when the line has one, otherwise tabs and blanks do when the line has a
// tab (a comma inside is part of a number: "1,034.91"), otherwise commas do when that gives
// numbers, otherwise blanks. Empty fields between separators are kept, trailing ones dropped.
void SplitFields(std::string_view line, FieldList* fields);

enum class NumberStatus { kOk, kNotNumber, kNotFinite };
struct ParsedNumber {
  NumberStatus status = NumberStatus::kNotNumber;
  double value = 0;
};

// A number with a decimal point or a decimal comma and optional thousands marks. Where both
// marks occur, the last one is the decimal mark; a mark that occurs more than once groups
// thousands; a single lone mark is the decimal mark when it is the file's own (a comma when
// decimal_comma) or cannot group thousands ("85,2"), else it groups them ("1,034"). Thousands
// marks must stand every three digits. "nan", "inf" and numbers too large for a double are
// kNotFinite; numbers too small for one are 0.
ParsedNumber ParseNumber(std::string_view field, bool decimal_comma);
bool LooksLikeNumber(std::string_view field);

// The last '.' or ',' of a number field, 0 when it has none: what the file's decimal mark is
// likely to be.
char LastDecimalMark(std::string_view field);

// At most 24 characters of a field for a message, anything unprintable shown as '?'.
std::string Printable(std::string_view field);

}  // namespace veltrane::measurement_text
