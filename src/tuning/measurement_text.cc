#include "tuning/measurement_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace veltrane::measurement_text {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == y; });
}

std::string_view Unquote(std::string_view field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
    return Trim(field.substr(1, field.size() - 2));
  }
  return field;
}

void DropTrailingEmpty(FieldList* fields) {
  while (!fields->empty() && fields->back().empty()) fields->pop_back();
}

void SplitOn(std::string_view line, char separator, FieldList* fields) {
  fields->clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t end = line.find(separator, start);
    fields->push_back(Unquote(Trim(line.substr(start, end - start))));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  DropTrailingEmpty(fields);
}

void SplitOnBlanks(std::string_view line, FieldList* fields) {
  fields->clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) fields->push_back(Unquote(line.substr(start, i - start)));
  }
}

bool IsNonFiniteWord(std::string_view text) {
  return EqualsIgnoringCase(text, "nan") || EqualsIgnoringCase(text, "inf") ||
         EqualsIgnoringCase(text, "infinity") ||
         (text.size() > 4 && EqualsIgnoringCase(text.substr(0, 4), "nan("));
}

// Whether every `mark` in integer_part groups thousands: one to three digits, then groups of
// the mark and three digits ("1,034,567").
bool GroupsThousands(std::string_view integer_part, char mark) {
  std::size_t at = integer_part.find(mark);
  if (at == std::string_view::npos) return true;
  if (at == 0 || at > 3) return false;
  while (at != std::string_view::npos) {
    const std::size_t next = integer_part.find(mark, at + 1);
    const std::size_t group_end = next == std::string_view::npos ? integer_part.size() : next;
    if (group_end - at != 4) return false;
    at = next;
  }
  return true;
}

// Which character of the mantissa is its decimal mark (npos: none), or false when the
// mantissa holds something else than digits and marks, or marks that fit no rule.
bool FindDecimalMark(std::string_view mantissa, bool decimal_comma, std::size_t* mark) {
  const auto count = [&](char c) { return std::count(mantissa.begin(), mantissa.end(), c); };
  const auto digits = std::count_if(mantissa.begin(), mantissa.end(), IsDigit);
  const auto dots = count('.');
  const auto commas = count(',');
  if (digits == 0 || digits + dots + commas != static_cast<long>(mantissa.size())) return false;
  *mark = std::string_view::npos;
  char grouping = 0;
  if (dots > 0 && commas > 0) {
    *mark = mantissa.find_last_of(".,");
    grouping = mantissa[*mark] == '.' ? ',' : '.';
    if (count(mantissa[*mark]) > 1) return false;  // "1.034,5.2"
  } else if (dots + commas > 1) {
    grouping = dots > 0 ? '.' : ',';
  } else if (dots + commas == 1) {
    const char lone = dots > 0 ? '.' : ',';
    // The file's own decimal mark, or the other one where it cannot group thousands ("85,2").
    if (lone == (decimal_comma ? ',' : '.') || !GroupsThousands(mantissa, lone)) {
      *mark = mantissa.find(lone);
    } else {
      grouping = lone;
    }
  }
  return grouping == 0 || GroupsThousands(mantissa.substr(0, *mark), grouping);
}

bool IsExponent(std::string_view text) {
  if (text.empty()) return true;
  if (text.size() < 2 || (text[0] != 'e' && text[0] != 'E')) return false;
  std::size_t i = 1;
  if (text[i] == '+' || text[i] == '-') ++i;
  if (i == text.size()) return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), IsDigit);
}

}  // namespace

LineReader::LineReader(std::string_view text) : rest_(text) {
  if (rest_.substr(0, 3) == "\xEF\xBB\xBF") rest_.remove_prefix(3);
}

std::optional<TextLine> LineReader::Next() {
  if (done_) return std::nullopt;
  const std::size_t end = rest_.find_first_of("\r\n");
  TextLine line{rest_.substr(0, end), ++number_};
  if (end == std::string_view::npos) {
    done_ = true;
    return line;
  }
  const bool crlf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
  rest_.remove_prefix(end + (crlf ? 2 : 1));
  if (rest_.empty()) done_ = true;
  return line;
}

std::optional<std::string> FromUtf16(std::string_view text) {
  const bool little = text.starts_with("\xFF\xFE");
  if (!little && !text.starts_with("\xFE\xFF")) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
    const auto first = static_cast<unsigned char>(text[i]);
    const auto second = static_cast<unsigned char>(text[i + 1]);
    const unsigned unit = little ? first | (second << 8) : (first << 8) | second;
    out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

void SplitFields(std::string_view line, FieldList* fields) {
  if (line.find(';') != std::string_view::npos) return SplitOn(line, ';', fields);
  if (line.find('\t') != std::string_view::npos) return SplitOnBlanks(line, fields);
  if (line.find(',') != std::string_view::npos) {
    SplitOn(line, ',', fields);
    const bool numbers = fields->size() >= 2 &&
                         std::all_of(fields->begin(), fields->end(), [](std::string_view field) {
                           return field.empty() || LooksLikeNumber(field);
                         });
    if (numbers) return;
  }
  SplitOnBlanks(line, fields);
}

ParsedNumber ParseNumber(std::string_view field, bool decimal_comma) {
  std::string plain;
  plain.reserve(field.size());
  if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
    if (field.front() == '-') plain.push_back('-');
    field.remove_prefix(1);
  }
  if (IsNonFiniteWord(field)) return {NumberStatus::kNotFinite, 0};
  const std::size_t exponent = std::min(field.find_first_of("eE"), field.size());
  const std::string_view mantissa = field.substr(0, exponent);
  std::size_t mark = 0;
  if (!FindDecimalMark(mantissa, decimal_comma, &mark) || !IsExponent(field.substr(exponent))) {
    return {};
  }
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    if (IsDigit(mantissa[i])) plain.push_back(mantissa[i]);
    if (i == mark) plain.push_back('.');
  }
  plain.append(field.substr(exponent));
  double value = 0;
  const char* end = plain.data() + plain.size();
  const std::from_chars_result result = std::from_chars(plain.data(), end, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too small to hold is as good as zero; too large is no measured value.
    const bool tiny = field.find_first_of("eE") != std::string_view::npos &&
                      field.find('-', exponent) != std::string_view::npos;
    return tiny ? ParsedNumber{NumberStatus::kOk, 0} : ParsedNumber{NumberStatus::kNotFinite, 0};
  }
  if (result.ec != std::errc() || result.ptr != end) return {};
  return {NumberStatus::kOk, value};
}

bool LooksLikeNumber(std::string_view field) {
  return ParseNumber(field, false).status != NumberStatus::kNotNumber;
}

char LastDecimalMark(std::string_view field) {
  const std::size_t exponent = std::min(field.find_first_of("eE"), field.size());
  const std::size_t mark = field.substr(0, exponent).find_last_of(".,");
  return mark == std::string_view::npos ? 0 : field[mark];
}

std::string Printable(std::string_view field) {
  constexpr std::size_t kMax = 24;
  std::string out;
  for (const char c : field.substr(0, kMax)) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(byte >= 0x20 && byte < 0x7F ? c : '?');
  }
  if (field.size() > kMax) out += "...";
  return out;
}

}  // namespace veltrane::measurement_text
