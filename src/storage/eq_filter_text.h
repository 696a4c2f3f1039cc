#pragma once

// Filter lists as room-measurement programs export them and equaliser configuration files
// hold them, one filter per line:
//
//   Filter 1: ON PK Fc 120 Hz Gain -4.5 dB Q 2.50
//   Filter 2: ON LSC 12 dB Fc 80,0 Hz Gain 3,0 dB
//
// read forgivingly (headers, comments, other kinds of lines, decimal commas), turned into a
// channel's eight bands by snapping every value to the processor's tables, and written
// back from the bands in the same form.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/parameter_model.h"

namespace veltrane {

// One filter that is switched on and of a kind the processor has.
struct ListedFilter {
  int line = 0;           // 1-based line of the text
  std::string label;      // "Filter 3", or "Filter" when the line had no number
  std::string type_text;  // as written: "PK", "LSC 12 dB"
  EqType type = kPeaking;
  double freq_hz = 0;
  double gain_db = 0;
  std::optional<double> q;         // from "Q" or from a bandwidth in octaves ("BW Oct")
  std::optional<double> slope_db;  // a shelf's slope per octave, when the type names one
};

// A line that looked like a filter but cannot be imported, with the reason.
struct FilterProblem {
  int line = 0;
  std::string text;  // "Filter 4: type LP is not a peaking or shelf filter"
};

struct FilterFile {
  std::vector<ListedFilter> filters;    // in the order of the text
  std::vector<FilterProblem> problems;  // in the order of the text
  std::optional<double> preamp_db;
  int filter_lines = 0;  // lines that were filters, on or off, of any type
};

FilterFile ParseFilterText(std::string_view text);

// One band taken from the text: what was asked and what the tables give.
struct ImportedFilter {
  int band = 0;  // 0..7
  ListedFilter requested;
  double freq_hz = 0;       // FreqTable value
  double gain_db = 0;       // EqGainTable value
  std::optional<double> q;  // QTable value; none for shelves, which have no Q
  bool freq_rounded = false;
  bool gain_rounded = false;
  bool q_rounded = false;      // also a Q given for a shelf, which the processor ignores
  bool slope_changed = false;  // a shelf slope other than the processor's 6 dB

  bool Changed() const { return freq_rounded || gain_rounded || q_rounded || slope_changed; }
};

struct FilterImport {
  std::array<BandParams, kBandsPerChannel> bands{};  // the channel's bands after the import
  std::vector<ImportedFilter> imported;              // bands 1..n
  std::vector<FilterProblem> problems;               // not imported, with the reason
  std::optional<double> preamp_db;                   // not applied: the bands only
  int flat_bands = 0;                                // bands n+1..8, set to 0 dB peaking
};

// The first eight filters become bands 1..8; the other bands become flat peaking bands.
// What the text does not say about a band (the gain of the other type, a shelf's Q) is
// kept from `current`, so exporting and importing a channel gives back its bands exactly.
FilterImport PlanFilterImport(const FilterFile& file,
                              std::span<const BandParams, kBandsPerChannel> current);

// Eight "Filter n: ON ..." lines with CR LF, after a comment line naming the channel.
// Shelves are written as "LS 6dB" / "HS 6dB", the processor's slope, without a Q.
std::string WriteFilterText(std::span<const BandParams, kBandsPerChannel> bands,
                            std::string_view channel_caption, bool bypassed);

}  // namespace veltrane
