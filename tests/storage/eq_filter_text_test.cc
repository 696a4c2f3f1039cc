// Filter lists as measurement programs and equaliser configurations write them: one table
// of real-world lines with the table indices they become, a whole exported file with its
// headers and empty slots, and the export read back.

#include "storage/eq_filter_text.h"

#include <gtest/gtest.h>

#include <span>

#include "model/tables.h"

namespace veltrane {
namespace {

std::span<const BandParams, kBandsPerChannel> Bands(const ParameterModel& m, int channel) {
  return std::span<const BandParams, kBandsPerChannel>(&m.bands[BandId(channel, 0)],
                                                       kBandsPerChannel);
}

FilterImport PlanOnDefaults(std::string_view text) {
  static const ParameterModel defaults;
  return PlanFilterImport(ParseFilterText(text), Bands(defaults, kInA));
}

struct LineCase {
  const char* line;
  int type;  // -1: nothing imported
  int freq, gain, q;
  bool freq_rounded, gain_rounded, q_rounded, slope_changed;
  const char* problem;  // part of the reported problem, or "" for none
};

// Indices: FreqTable 63 = 121 Hz, EqGainTable 97 = -4.6 dB, QTable 11 = 2.4, and so on.
const LineCase kLines[] = {
    // The plain line, and the same as REW aligns it.
    {"Filter 1: ON PK Fc 120 Hz Gain -4.5 dB Q 2.50", kPeaking, 63, 97, 11, true, true, true, false,
     ""},
    {"Filter  2: ON  PK       Fc   52.5 Hz  Gain  -8.0 dB  Q  4.32", kPeaking, 34, 80, 21, true,
     false, true, false, ""},
    // Exact table values round to nothing; the Q of 4 is entry 19.
    {"Filter 3: ON PEQ Fc 8000 Hz Gain 6 dB Q 4", kPeaking, 208, 150, 19, false, false, false,
     false, ""},
    // Decimal commas, a plus sign, kHz, tabs, a trailing comment.
    {"Filter 4: ON PK Fc 1000,5 Hz Gain -3,2 dB Q 1,41", kPeaking, 136, 104, 6, true, false, true,
     false, ""},
    {"Filter 5:\tON\tPK\tFc 2.5 kHz\tGain +1.5 dB\tQ 4 # presence", kPeaking, 168, 127, 19, true,
     true, false, false, ""},
    {"filter 6: on pk fc 120hz gain -4.5db q 2.5", kPeaking, 63, 97, 11, true, true, true, false,
     ""},
    // No "Filter n:" prefix; a bandwidth of half an octave is Q 2.87.
    {"ON PK Fc 200 Hz Gain -1 dB BW Oct 0.5", kPeaking, 80, 115, 13, true, false, true, false, ""},
    // Shelves: the processor's are 6 dB per octave and have no Q.
    {"Filter 7: ON LS 6dB Fc 100 Hz Gain 3 dB", kLowShelf, 56, 135, -1, true, false, false, false,
     ""},
    {"Filter 8: ON LSC 12 dB Fc 80 Hz Gain 6.0 dB", kLowShelf, 49, 150, -1, true, false, false,
     true, ""},
    {"Filter 9: ON HSC Fc 8000 Hz Gain -2.5 dB Q 0.70", kHighShelf, 208, 107, -1, false, true, true,
     false, ""},
    {"Filter 10: ON HS Fc 8000 Hz Gain -2,6 dB", kHighShelf, 208, 107, -1, false, false, false,
     false, ""},
    // Out of range: limited to 20100 Hz, +12 dB, Q 36.
    {"Filter 11: ON PK Fc 25000 Hz Gain 15 dB Q 50", kPeaking, 240, 180, 179, true, true, true,
     false, ""},
    // Switched off, empty slots, headings and other kinds of lines: nothing, no complaint.
    {"Filter 12: OFF PK Fc 100 Hz Gain -3 dB Q 1", -1, 0, 0, 0, false, false, false, false, ""},
    {"Filter 13: ON  None", -1, 0, 0, 0, false, false, false, false, ""},
    {"Filter Settings file", -1, 0, 0, 0, false, false, false, false, ""},
    {"Equaliser: Generic", -1, 0, 0, 0, false, false, false, false, ""},
    {"On the left speaker only", -1, 0, 0, 0, false, false, false, false, ""},
    {"# Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 1", -1, 0, 0, 0, false, false, false, false, ""},
    // Types the processor does not have, and filters that lack a value.
    {"Filter 14: ON LP Fc 80 Hz", -1, 0, 0, 0, false, false, false, false,
     "Filter 14: type LP is not a peaking or shelf filter"},
    {"Filter 15: ON NO Fc 50 Hz", -1, 0, 0, 0, false, false, false, false, "type NO"},
    {"Filter 16: ON PK Fc 100 Hz Q 2", -1, 0, 0, 0, false, false, false, false, "no gain"},
    {"Filter 17: ON PK Gain 3 dB Q 2", -1, 0, 0, 0, false, false, false, false, "no frequency"},
    {"Filter 18: ON PK Fc 100 Hz Gain 3 dB", -1, 0, 0, 0, false, false, false, false, "no Q"},
    {"Filter 19: ON PK Fc abc Hz Gain 3 dB Q 1", -1, 0, 0, 0, false, false, false, false,
     "no frequency"},
};

TEST(FilterText, RealWorldLines) {
  for (const LineCase& c : kLines) {
    SCOPED_TRACE(c.line);
    const FilterImport plan = PlanOnDefaults(c.line);
    if (c.type < 0) {
      EXPECT_TRUE(plan.imported.empty());
      EXPECT_EQ(plan.flat_bands, kBandsPerChannel);
    } else {
      ASSERT_EQ(plan.imported.size(), 1u);
      const BandParams& band = plan.bands[0];
      const ImportedFilter& f = plan.imported[0];
      EXPECT_EQ(band.type, c.type);
      EXPECT_EQ(band.freq, c.freq);
      EXPECT_EQ(band.ActiveGain(), c.gain);
      if (c.q >= 0) {
        EXPECT_EQ(band.q, c.q);
        ASSERT_TRUE(f.q.has_value());
        EXPECT_EQ(*f.q, kQTable[c.q]);
      } else {
        EXPECT_EQ(band.q, kDefaultQ);  // kept: a shelf has none to import
        EXPECT_FALSE(f.q.has_value());
      }
      EXPECT_EQ(f.freq_hz, kFreqTable[c.freq]);
      EXPECT_EQ(f.gain_db, kEqGainTable[c.gain]);
      EXPECT_EQ(f.freq_rounded, c.freq_rounded);
      EXPECT_EQ(f.gain_rounded, c.gain_rounded);
      EXPECT_EQ(f.q_rounded, c.q_rounded);
      EXPECT_EQ(f.slope_changed, c.slope_changed);
      EXPECT_EQ(f.Changed(), c.freq_rounded || c.gain_rounded || c.q_rounded || c.slope_changed);
    }
    if (*c.problem == '\0') {
      EXPECT_TRUE(plan.problems.empty());
    } else {
      ASSERT_EQ(plan.problems.size(), 1u);
      EXPECT_EQ(plan.problems[0].line, 1);
      EXPECT_NE(plan.problems[0].text.find(c.problem), std::string::npos) << plan.problems[0].text;
    }
  }
}

TEST(FilterText, AnExportedFileWithHeadersSlotsAndTooManyFilters) {
  // As REW writes it, with a preamp line added, a decimal comma and CR LF line ends.
  const std::string text =
      "Filter Settings file\r\n"
      "\r\n"
      "Room EQ V5.20.13\r\n"
      "Dated: 3 Jan 2024 14:12:20\r\n"
      "\r\n"
      "Notes:\r\n"
      "\r\n"
      "Equaliser: Generic\r\n"
      "Averages 2\r\n"
      "Preamp: -6,5 dB\r\n"
      "Filter  1: ON  PK       Fc   40.0 Hz  Gain  -8.0 dB  Q  4.32\r\n"
      "Filter  2: ON  PK       Fc   63.0 Hz  Gain  -6.5 dB  Q  6.00\r\n"
      "Filter  3: ON  LP       Fc   90.0 Hz\r\n"
      "Filter  4: ON  PK       Fc  112.0 Hz  Gain  -3.0 dB  Q  3.10\r\n"
      "Filter  5: OFF PK       Fc  150.0 Hz  Gain  -2.0 dB  Q  2.00\r\n"
      "Filter  6: ON  PK       Fc  180.0 Hz  Gain  -4.0 dB  Q  5.00\r\n"
      "Filter  7: ON  PK       Fc  240.0 Hz  Gain  -2.5 dB  Q  4.00\r\n"
      "Filter  8: ON  PK       Fc  320.0 Hz  Gain  -1.5 dB  Q  2.50\r\n"
      "Filter  9: ON  PK       Fc  450.0 Hz  Gain  -2.0 dB  Q  3.00\r\n"
      "Filter 10: ON  HS       Fc 6000,0 Hz  Gain   2.0 dB\r\n"
      "Filter 11: ON  PK       Fc 9000.0 Hz  Gain  -1.0 dB  Q  1.00\r\n"
      "Filter 12: ON  None\r\n"
      "Filter 13: OFF None\r\n";
  const FilterFile file = ParseFilterText(text);
  EXPECT_EQ(file.filter_lines, 13);
  ASSERT_TRUE(file.preamp_db.has_value());
  EXPECT_DOUBLE_EQ(*file.preamp_db, -6.5);
  ASSERT_EQ(file.filters.size(), 9u);

  ParameterModel model;
  const FilterImport plan = PlanFilterImport(file, Bands(model, kOut1));
  ASSERT_EQ(plan.imported.size(), 8u);
  EXPECT_EQ(plan.flat_bands, 0);
  // The filters fill the bands in file order, skipping what cannot be imported.
  EXPECT_EQ(plan.imported[2].requested.label, "Filter 4");
  EXPECT_EQ(plan.imported[2].band, 2);
  EXPECT_EQ(plan.imported[7].requested.label, "Filter 10");
  EXPECT_EQ(plan.bands[7].type, kHighShelf);
  EXPECT_EQ(plan.bands[7].shelf_gain, 130);  // +2.0 dB
  EXPECT_EQ(plan.bands[7].peak_gain, kDefaultEqGain);
  ASSERT_EQ(plan.problems.size(), 2u);
  EXPECT_EQ(plan.problems[0].line, 13);
  EXPECT_EQ(plan.problems[0].text, "Filter 3: type LP is not a peaking or shelf filter");
  EXPECT_EQ(plan.problems[1].line, 21);
  EXPECT_EQ(plan.problems[1].text, "Filter 11: more than 8 filters, the channel has 8 bands");
}

TEST(FilterText, FewerFiltersLeaveTheOtherBandsFlatButKeepTheirPlaces) {
  ParameterModel model;
  BandParams& sixth = model.bands[BandId(kOut2, 5)];
  sixth = {.freq = 150, .type = kHighShelf, .peak_gain = 60, .shelf_gain = 170, .q = 40};
  const FilterImport plan =
      PlanFilterImport(ParseFilterText("Filter 1: ON PK Fc 1000 Hz Gain -3 dB Q 1\n"
                                       "Filter 2: ON PK Fc 2000 Hz Gain 2 dB Q 2\n"),
                       Bands(model, kOut2));
  EXPECT_EQ(plan.imported.size(), 2u);
  EXPECT_EQ(plan.flat_bands, 6);
  const BandParams& flat = plan.bands[5];
  EXPECT_EQ(flat.type, kPeaking);
  EXPECT_EQ(flat.peak_gain, kDefaultEqGain);
  EXPECT_EQ(flat.freq, 150);
  EXPECT_EQ(flat.q, 40);
}

TEST(FilterText, ExportReadBackGivesTheSameBands) {
  ParameterModel model;
  const BandParams bands[kBandsPerChannel] = {
      {.freq = 0, .type = kPeaking, .peak_gain = 0, .shelf_gain = 140, .q = 0},
      {.freq = 16, .type = kLowShelf, .peak_gain = 33, .shelf_gain = 180, .q = 77},
      {.freq = 63, .type = kPeaking, .peak_gain = 97, .shelf_gain = 120, .q = 11},
      {.freq = 136, .type = kPeaking, .peak_gain = 121, .shelf_gain = 120, .q = 179},
      {.freq = 167, .type = kHighShelf, .peak_gain = 100, .shelf_gain = 1, .q = 4},
      {.freq = 200, .type = kPeaking, .peak_gain = 180, .shelf_gain = 0, .q = 1},
      {.freq = 239, .type = kPeaking, .peak_gain = 119, .shelf_gain = 120, .q = 50},
      {.freq = 240, .type = kHighShelf, .peak_gain = 120, .shelf_gain = 61, .q = 9},
  };
  for (int b = 0; b < kBandsPerChannel; ++b) model.bands[BandId(kOut3, b)] = bands[b];
  const std::string text = WriteFilterText(Bands(model, kOut3), "L_OUT", /*bypassed=*/true);
  EXPECT_EQ(text.substr(0, text.find("Filter 3")),
            "# VELTRANE PROCESSOR L_OUT: EQ bands 1 to 8\r\n"
            "# The processor bypasses this channel's EQ.\r\n"
            "Filter 1: ON PK Fc 19.7 Hz Gain -24.0 dB Q 0.20\r\n"
            "Filter 2: ON LS 6dB Fc 31.3 Hz Gain 12.0 dB\r\n");

  // Onto the same channel everything comes back, down to what the text does not carry;
  // onto another channel what the text says comes back.
  const FilterFile file = ParseFilterText(text);
  const FilterImport same = PlanFilterImport(file, Bands(model, kOut3));
  const FilterImport other = PlanFilterImport(file, Bands(model, kInA));
  EXPECT_TRUE(same.problems.empty());
  for (int b = 0; b < kBandsPerChannel; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(same.bands[b], bands[b]);
    EXPECT_FALSE(same.imported[b].Changed());
    EXPECT_EQ(other.bands[b].type, bands[b].type);
    EXPECT_EQ(other.bands[b].freq, bands[b].freq);
    EXPECT_EQ(other.bands[b].ActiveGain(), bands[b].ActiveGain());
    if (bands[b].type == kPeaking) {
      EXPECT_EQ(other.bands[b].q, bands[b].q);
    }
  }
}

}  // namespace
}  // namespace veltrane
