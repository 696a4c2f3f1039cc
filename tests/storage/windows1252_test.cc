// Preset names as Windows-1252 bytes: every byte decodes, everything decoded encodes back
// to the same byte, and the name box's text becomes what is stored.

#include "storage/windows1252.h"

#include <gtest/gtest.h>

#include "storage/device_presets.h"

namespace veltrane {
namespace {

TEST(Windows1252Test, EveryAssignedByteRoundTripsAndTheRestAreReplacementCharacters) {
  const std::string unassigned = "\x81\x8D\x8F\x90\x9D";
  for (int b = 1; b <= 0xFF; ++b) {
    SCOPED_TRACE(b);
    const std::string byte(1, static_cast<char>(b));
    const std::string text = DecodeWindows1252(byte);
    if (unassigned.find(static_cast<char>(b)) != std::string::npos) {
      EXPECT_EQ(text, "\xEF\xBF\xBD");
      EXPECT_FALSE(EncodeWindows1252(text));
    } else {
      EXPECT_EQ(EncodeWindows1252(text), byte);
    }
  }
  struct Case {
    std::uint8_t byte;
    const char* utf8;
  };
  for (const Case& c : {Case{0x41, "A"}, Case{0x80, "\xE2\x82\xAC"}, Case{0x9F, "\xC5\xB8"},
                        Case{0xA0, "\xC2\xA0"}, Case{0xE9, "\xC3\xA9"}, Case{0xFF, "\xC3\xBF"}}) {
    EXPECT_EQ(DecodeWindows1252(std::string(1, static_cast<char>(c.byte))), c.utf8);
  }
}

TEST(Windows1252Test, TextOutsideTheCodePageIsRefused) {
  for (const char* text : {"\xC5\x82",          // U+0142, not in the code page
                           "\xE6\xBC\xA2",      // a CJK character
                           "\xF0\x9F\x94\x8A",  // outside the basic plane
                           "\xC3",              // cut sequence
                           "\xC0\x81",          // overlong
                           "\xED\xA0\x80"}) {   // surrogate
    SCOPED_TRACE(text);
    EXPECT_FALSE(EncodeWindows1252(text));
  }
  EXPECT_FALSE(EncodeWindows1252(std::string_view("\0", 1)));
}

TEST(PresetNameTest, NameBoxTextBecomesTheStoredBytes) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"  Kick drum \xC3\xA9 \t", "Kick drum \xE9"},  // trimmed at both ends, inner blanks kept
      {"ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS"},
      {"ABCDEFGHIJKLMNOPQRSTUV", "ABCDEFGHIJKLMNOPQRS"},  // 19 bytes at most
      {"\xC5\x82\xC3\xB3"
       "d\xC5\xBA",
       "?\xF3"
       "d?"},  // what the code page lacks is '?'
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(PresetNameBytes(c.text), c.bytes);
  }
  EXPECT_TRUE(IsStorablePresetName("Kick drum \xC3\xA9"));
  EXPECT_TRUE(
      IsStorablePresetName("\xE2\x82\xAC"
                           "123456789012345678"));  // 19 characters
  EXPECT_FALSE(IsStorablePresetName("12345678901234567890"));
  EXPECT_FALSE(IsStorablePresetName("\xC5\x82"));
  EXPECT_FALSE(IsStorablePresetName("tab\there"));
}

}  // namespace
}  // namespace veltrane
