#pragma once

// Just enough JSON for the session file: a parsed tree with the reason and line of the first
// fault, and the escaping of strings for writing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::session_json {

struct JsonValue {
  enum class Type : std::uint8_t { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;               // kString
  std::vector<JsonValue> items;   // kArray: the elements; kObject: the members' values
  std::vector<std::string> keys;  // kObject: the members' names, in step with items

  // The member called key of an object, nullptr when there is none.
  const JsonValue* Find(std::string_view key) const;
};

struct JsonParse {
  std::optional<JsonValue> value;
  std::string error;  // set when value is empty: "line 3: ..."
};

// Strict JSON (RFC 8259) nested at most 64 deep; numbers are read locale-independently.
JsonParse ParseJson(std::string_view text);

// text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

}  // namespace veltrane::session_json
