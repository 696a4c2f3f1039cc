#include "storage/eq_filter_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "model/tables.h"

namespace veltrane {
namespace {

constexpr double kProcessorShelfSlopeDb = 6;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> Tokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsSpace(text[i])) ++i;
    if (i > start) tokens.emplace_back(text.substr(start, i - start));
  }
  return tokens;
}

// A number at the start of `token`, with a decimal point or a decimal comma. Where both
// occur, or one of them more than once, the last lone one is the decimal mark and the
// others group thousands ("1.000,5", "1,000.5"). `unit` gets what follows the number in
// lower case ("hz", "db", "" when nothing).
std::optional<double> LeadingNumber(std::string_view token, std::string* unit = nullptr) {
  std::size_t end = 0;
  if (end < token.size() && (token[end] == '+' || token[end] == '-')) ++end;
  while (end < token.size() && (IsDigit(token[end]) || token[end] == '.' || token[end] == ',')) {
    ++end;
  }
  const std::string_view number = token.substr(0, end);
  if (number.find_first_of("0123456789") == std::string_view::npos) return std::nullopt;
  std::size_t mark = number.find_last_of(".,");
  if (mark != std::string_view::npos &&
      std::count(number.begin(), number.end(), number[mark]) > 1) {
    mark = std::string_view::npos;  // "1,000,000": grouping only
  }
  std::string plain;
  for (std::size_t i = 0; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '+') continue;
    if (c == '.' || c == ',') {
      if (i == mark) plain.push_back('.');
      continue;
    }
    plain.push_back(c);
  }
  double value = 0;
  const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return std::nullopt;
  if (unit != nullptr) *unit = Lower(token.substr(end));
  return value;
}

enum class TypeWord { kPeaking, kLowShelf, kHighShelf, kNone, kUnknown };

struct TypeMatch {
  TypeWord word = TypeWord::kUnknown;
  std::optional<double> glued_slope;  // "LS6dB"
};

TypeMatch MatchType(std::string_view token) {
  const std::string t = Lower(token);
  if (t == "pk" || t == "peq" || t == "peak" || t == "peaking" || t == "bell") {
    return {TypeWord::kPeaking, std::nullopt};
  }
  if (t == "none") return {TypeWord::kNone, std::nullopt};
  for (const auto& [prefix, word] :
       {std::pair{"ls", TypeWord::kLowShelf}, std::pair{"hs", TypeWord::kHighShelf}}) {
    if (!t.starts_with(prefix)) continue;
    std::string_view rest = std::string_view(t).substr(2);
    if (rest.starts_with('c') || rest.starts_with('q')) rest.remove_prefix(1);
    if (rest.empty()) return {word, std::nullopt};
    std::string unit;
    const auto slope = LeadingNumber(rest, &unit);
    if (slope && (unit.empty() || unit == "db")) return {word, slope};
  }
  if (t == "lowshelf") return {TypeWord::kLowShelf, std::nullopt};
  if (t == "highshelf") return {TypeWord::kHighShelf, std::nullopt};
  return {};
}

// Q of a peaking filter whose bandwidth is given in octaves.
double QFromOctaves(double octaves) {
  const double ratio = std::pow(2.0, octaves);
  return std::sqrt(ratio) / (ratio - 1);
}

// The value after keyword i: "Fc 120 Hz", "Fc 120Hz", "Gain -4,5 dB". Bandwidth may name
// its unit first ("BW Oct 0.33").
std::optional<double> ValueAfter(const std::vector<std::string>& tokens, std::size_t i,
                                 std::string* unit) {
  std::size_t at = i + 1;
  if (at < tokens.size() && Lower(tokens[at]) == "oct") ++at;
  if (at >= tokens.size()) return std::nullopt;
  auto value = LeadingNumber(tokens[at], unit);
  if (value && unit->empty() && at + 1 < tokens.size()) {
    const std::string next = Lower(tokens[at + 1]);
    if (next == "hz" || next == "khz" || next == "db" || next == "oct") *unit = next;
  }
  return value;
}

bool Same(double requested, double applied) {
  return std::abs(requested - applied) <= 1e-9 * std::max(1.0, std::abs(requested));
}

// "Filter", "Filter 3", "Filter 12:" at the start of the line: the label and the rest of
// the line. A line that starts with "Filter" but has no colon after it ("Filter Settings
// file") is a heading, not a filter.
bool SplitFilterPrefix(std::string_view line, std::string* label, std::string_view* rest) {
  if (Lower(line.substr(0, 6)) != "filter") return false;
  std::string_view after = Trim(line.substr(6));
  std::string number;
  while (!after.empty() && IsDigit(after.front())) {
    number.push_back(after.front());
    after.remove_prefix(1);
  }
  after = Trim(after);
  if (after.empty() || after.front() != ':') return false;
  *label = number.empty() ? "Filter" : "Filter " + number;
  *rest = Trim(after.substr(1));
  return true;
}

// "LSC 12 dB", "LS 6dB": a slope right after a shelf's type. Gives the index after it.
std::size_t ReadShelfSlope(const std::vector<std::string>& tokens, std::size_t i,
                           ListedFilter& listed) {
  if (listed.type == kPeaking || listed.slope_db || i >= tokens.size()) return i;
  std::string unit;
  if (const auto slope = LeadingNumber(tokens[i], &unit); slope && (unit == "db" || unit.empty())) {
    listed.slope_db = slope;
    listed.type_text += " " + tokens[i];
    ++i;
    if (unit.empty() && i < tokens.size() && Lower(tokens[i]) == "db") {
      listed.type_text += " " + tokens[i];
      ++i;
    }
  }
  return i;
}

struct FilterValues {
  std::optional<double> freq;
  std::optional<double> gain;
};

// Fc, Gain, Q and BW from token i on, in any order; Q (from Q or BW) goes into `listed`.
FilterValues ReadFilterValues(const std::vector<std::string>& tokens, std::size_t i,
                              ListedFilter& listed) {
  FilterValues values;
  for (; i < tokens.size(); ++i) {
    const std::string key = Lower(tokens[i]);
    std::string unit;
    if (key == "fc" || key == "f" || key == "freq") {
      values.freq = ValueAfter(tokens, i, &unit);
      if (values.freq && unit == "khz") *values.freq *= 1000;
    } else if (key == "gain" || key == "g") {
      values.gain = ValueAfter(tokens, i, &unit);
    } else if (key == "q") {
      listed.q = ValueAfter(tokens, i, &unit);
    } else if (key == "bw") {
      const auto octaves = ValueAfter(tokens, i, &unit);
      if (octaves && *octaves > 0) listed.q = QFromOctaves(*octaves);
    }
  }
  return values;
}

// The first value the filter lacks, or nullptr when it has them all.
const char* MissingValue(const ListedFilter& listed, const FilterValues& values) {
  if (!values.freq || *values.freq <= 0) return "no frequency (Fc)";
  if (!values.gain) return "no gain";
  if (listed.type == kPeaking && (!listed.q || *listed.q <= 0)) return "no Q";
  return nullptr;
}

void ParseFilterLine(int line_number, std::string label, std::string_view rest, FilterFile& file) {
  std::vector<std::string> tokens = Tokens(rest);
  std::size_t i = 0;
  bool on = true;
  if (i < tokens.size() && (Lower(tokens[i]) == "on" || Lower(tokens[i]) == "off")) {
    on = Lower(tokens[i]) == "on";
    ++i;
  }
  ++file.filter_lines;
  if (!on) return;  // a filter switched off has no effect to import
  const auto problem = [&](const std::string& text) {
    file.problems.push_back({line_number, label + ": " + text});
  };
  if (i >= tokens.size()) {
    problem("no filter type");
    return;
  }
  const TypeMatch match = MatchType(tokens[i]);
  ListedFilter listed;
  listed.line = line_number;
  listed.label = label;
  listed.type_text = tokens[i];
  switch (match.word) {
    case TypeWord::kNone:
      return;  // an empty slot of the program's list
    case TypeWord::kUnknown:
      problem("type " + tokens[i] + " is not a peaking or shelf filter");
      return;
    case TypeWord::kPeaking:
      listed.type = kPeaking;
      break;
    case TypeWord::kLowShelf:
      listed.type = kLowShelf;
      break;
    case TypeWord::kHighShelf:
      listed.type = kHighShelf;
      break;
  }
  listed.slope_db = match.glued_slope;
  i = ReadShelfSlope(tokens, i + 1, listed);
  const FilterValues values = ReadFilterValues(tokens, i, listed);
  if (const char* missing = MissingValue(listed, values)) {
    problem(missing);
    return;
  }
  listed.freq_hz = *values.freq;
  listed.gain_db = *values.gain;
  file.filters.push_back(std::move(listed));
}

}  // namespace

FilterFile ParseFilterText(std::string_view text) {
  FilterFile file;
  int line_number = 0;
  for (std::size_t pos = 0; pos <= text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_number;

    if (line_number == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);  // UTF-8 mark
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
      line = line.substr(0, hash);
    }
    line = Trim(line);
    if (line.empty() || line.starts_with(';') || line.starts_with("//")) continue;

    std::string label;
    std::string_view rest;
    if (Lower(line.substr(0, 6)) == "preamp") {
      std::string_view value = Trim(line.substr(6));
      if (value.starts_with(':')) value = Trim(value.substr(1));
      if (const auto db = LeadingNumber(value)) file.preamp_db = db;
    } else if (SplitFilterPrefix(line, &label, &rest)) {
      ParseFilterLine(line_number, std::move(label), rest, file);
    } else if (const std::vector<std::string> tokens = Tokens(line);
               tokens.size() >= 2 && (Lower(tokens[0]) == "on" || Lower(tokens[0]) == "off") &&
               MatchType(tokens[1]).word != TypeWord::kUnknown) {
      // Lists without the "Filter n:" prefix; a sentence that starts with "On" is not one.
      ParseFilterLine(line_number, "Filter", line, file);
    }
  }
  return file;
}

FilterImport PlanFilterImport(const FilterFile& file,
                              std::span<const BandParams, kBandsPerChannel> current) {
  FilterImport plan;
  std::copy(current.begin(), current.end(), plan.bands.begin());
  plan.problems = file.problems;
  plan.preamp_db = file.preamp_db;
  for (const ListedFilter& listed : file.filters) {
    if (plan.imported.size() == kBandsPerChannel) {
      plan.problems.push_back(
          {listed.line, listed.label + ": more than 8 filters, the channel has 8 bands"});
      continue;
    }
    const int number = static_cast<int>(plan.imported.size());
    BandParams& band = plan.bands[number];
    band.type = listed.type;
    band.freq = static_cast<std::uint8_t>(NearestFreqIndex(listed.freq_hz));
    band.ActiveGain() = static_cast<std::uint16_t>(NearestEqGainIndex(listed.gain_db));
    ImportedFilter filter;
    filter.band = number;
    filter.requested = listed;
    filter.freq_hz = kFreqTable[band.freq];
    filter.gain_db = kEqGainTable[band.ActiveGain()];
    filter.freq_rounded = !Same(listed.freq_hz, filter.freq_hz);
    filter.gain_rounded = !Same(listed.gain_db, filter.gain_db);
    if (listed.type == kPeaking) {
      band.q = static_cast<std::uint8_t>(NearestQIndex(*listed.q));
      filter.q = kQTable[band.q];
      filter.q_rounded = !Same(*listed.q, *filter.q);
    } else {
      filter.q_rounded = listed.q.has_value();
      filter.slope_changed = listed.slope_db && !Same(*listed.slope_db, kProcessorShelfSlopeDb);
    }
    plan.imported.push_back(std::move(filter));
  }
  for (std::size_t b = plan.imported.size(); b < plan.bands.size(); ++b) {
    plan.bands[b].type = kPeaking;
    plan.bands[b].peak_gain = kDefaultEqGain;
    ++plan.flat_bands;
  }
  std::stable_sort(plan.problems.begin(), plan.problems.end(),
                   [](const FilterProblem& a, const FilterProblem& b) { return a.line < b.line; });
  return plan;
}

std::string WriteFilterText(std::span<const BandParams, kBandsPerChannel> bands,
                            std::string_view channel_caption, bool bypassed) {
  std::string text =
      "# VELTRANE PROCESSOR " + std::string(channel_caption) + ": EQ bands 1 to 8\r\n";
  if (bypassed) text += "# The processor bypasses this channel's EQ.\r\n";
  for (int n = 0; n < kBandsPerChannel; ++n) {
    const BandParams& band = bands[n];
    const double freq = kFreqTable[std::min<int>(band.freq, kFreqIndexMax)];
    const double gain = kEqGainTable[std::min<int>(band.ActiveGain(), kEqGainIndexMax)];
    char line[128];
    if (band.type == kPeaking) {
      std::snprintf(line, sizeof line, "Filter %d: ON PK Fc %s Hz Gain %.1f dB Q %.2f\r\n", n + 1,
                    FormatShortest(freq).c_str(), gain, kQTable[std::min<int>(band.q, kQIndexMax)]);
    } else {
      std::snprintf(line, sizeof line, "Filter %d: ON %s 6dB Fc %s Hz Gain %.1f dB\r\n", n + 1,
                    band.type == kLowShelf ? "LS" : "HS", FormatShortest(freq).c_str(), gain);
    }
    text += line;
  }
  return text;
}

}  // namespace veltrane
