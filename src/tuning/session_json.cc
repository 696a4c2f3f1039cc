#include "tuning/session_json.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace veltrane::session_json {
namespace {

constexpr int kMaxDepth = 64;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonParse Parse() {
    JsonValue value;
    SkipBlanks();
    if (ParseValue(&value, 0)) {
      SkipBlanks();
      if (pos_ == text_.size()) return {std::move(value), {}};
      Fail("text after the end of the document");
    }
    return {std::nullopt, error_};
  }

 private:
  bool ParseValue(JsonValue* value, int depth);
  bool ParseContainer(JsonValue* value, int depth, bool object);
  bool ParseString(std::string* out);
  bool ParseEscape(std::string* out);
  bool ParseHex4(std::uint32_t* code);
  bool ParseNumber(double* out);
  bool ParseWord(std::string_view word);

  bool Fail(std::string_view what) {
    const auto line = 1 + std::count(text_.begin(), text_.begin() + pos_, '\n');
    error_ = "line " + std::to_string(line) + ": " + std::string(what);
    return false;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }
  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

bool Parser::ParseValue(JsonValue* value, int depth) {
  if (pos_ >= text_.size()) return Fail("the text ends where a value was expected");
  const char c = text_[pos_];
  if (c == '{' || c == '[') {
    if (depth >= kMaxDepth) return Fail("nested too deep");
    return ParseContainer(value, depth + 1, c == '{');
  }
  if (c == '"') {
    value->type = JsonValue::Type::kString;
    return ParseString(&value->text);
  }
  if (c == 't' || c == 'f') {
    value->type = JsonValue::Type::kBool;
    value->boolean = c == 't';
    return ParseWord(c == 't' ? "true" : "false");
  }
  if (c == 'n') return ParseWord("null");
  value->type = JsonValue::Type::kNumber;
  return ParseNumber(&value->number);
}

bool Parser::ParseContainer(JsonValue* value, int depth, bool object) {
  value->type = object ? JsonValue::Type::kObject : JsonValue::Type::kArray;
  const char close = object ? '}' : ']';
  ++pos_;
  SkipBlanks();
  if (Take(close)) return true;
  while (true) {
    SkipBlanks();
    if (object) {
      value->keys.emplace_back();
      if (pos_ >= text_.size() || text_[pos_] != '"') return Fail("expected a member name");
      if (!ParseString(&value->keys.back())) return false;
      SkipBlanks();
      if (!Take(':')) return Fail("expected ':' after a member name");
      SkipBlanks();
    }
    value->items.emplace_back();
    if (!ParseValue(&value->items.back(), depth)) return false;
    SkipBlanks();
    if (Take(close)) return true;
    if (!Take(',')) return Fail(object ? "expected ',' or '}'" : "expected ',' or ']'");
  }
}

bool Parser::ParseString(std::string* out) {
  ++pos_;  // the opening quote
  while (pos_ < text_.size()) {
    const char c = text_[pos_++];
    if (c == '"') return true;
    if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
    if (c != '\\') {
      out->push_back(c);
    } else if (!ParseEscape(out)) {
      return false;
    }
  }
  return Fail("a string that does not end");
}

bool Parser::ParseEscape(std::string* out) {
  if (pos_ >= text_.size()) return Fail("a string that does not end");
  const char c = text_[pos_++];
  constexpr std::string_view kFrom = "\"\\/bfnrt";
  constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
  if (const std::size_t i = kFrom.find(c); i != std::string_view::npos) {
    out->push_back(kTo[i]);
    return true;
  }
  if (c != 'u') return Fail("an unknown escape in a string");
  std::uint32_t code = 0;
  if (!ParseHex4(&code)) return false;
  if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a lone low surrogate in a string");
  if (code >= 0xD800 && code <= 0xDBFF) {
    std::uint32_t low = 0;
    if (!Take('\\') || !Take('u') || !ParseHex4(&low) || low < 0xDC00 || low > 0xDFFF) {
      return Fail("a lone high surrogate in a string");
    }
    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
  }
  AppendUtf8(code, out);
  return true;
}

bool Parser::ParseHex4(std::uint32_t* code) {
  if (text_.size() - pos_ < 4) return Fail("a \\u escape needs four hex digits");
  const char* begin = text_.data() + pos_;
  const std::from_chars_result result = std::from_chars(begin, begin + 4, *code, 16);
  if (result.ec != std::errc() || result.ptr != begin + 4) {
    return Fail("a \\u escape needs four hex digits");
  }
  pos_ += 4;
  return true;
}

bool Parser::ParseNumber(double* out) {
  const std::size_t start = pos_;
  Take('-');
  const std::size_t int_start = pos_;
  while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
  const std::size_t int_digits = pos_ - int_start;
  bool ok = int_digits > 0 && !(int_digits > 1 && text_[int_start] == '0');
  if (ok && Take('.')) {
    const std::size_t from = pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    ok = pos_ > from;
  }
  if (ok && (Take('e') || Take('E'))) {
    if (!Take('+')) Take('-');
    const std::size_t from = pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    ok = pos_ > from;
  }
  if (!ok) return Fail("expected a value");
  const std::from_chars_result result =
      std::from_chars(text_.data() + start, text_.data() + pos_, *out);
  if (result.ec != std::errc()) return Fail("a number out of range");
  return true;
}

bool Parser::ParseWord(std::string_view word) {
  if (text_.substr(pos_, word.size()) != word) return Fail("expected a value");
  pos_ += word.size();
  return true;
}

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  if (type != Type::kObject) return nullptr;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return &items[i];
  }
  return nullptr;
}

JsonParse ParseJson(std::string_view text) { return Parser(text).Parse(); }

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace veltrane::session_json
