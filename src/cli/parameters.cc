#include "cli/parameters.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

#include "frame/frame_codec.h"
#include "model/image_codec.h"
#include "model/tables.h"

namespace veltrane {
namespace {

constexpr double kDelayStepMs = 0.021;
constexpr std::array<std::string_view, kChannelCount> kNames = {"in",   "inb",  "out1",
                                                                "out2", "out3", "out4"};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// A value parsed as a decimal, accepting a decimal comma as well.
std::optional<double> Number(std::string_view text) {
  std::string copy(text);
  std::replace(copy.begin(), copy.end(), ',', '.');
  if (!copy.empty() && copy.front() == '+') copy.erase(0, 1);
  return ParseDecimal(copy);
}

template <std::size_t N>
std::optional<int> ChoiceIndex(const std::array<std::string_view, N>& names,
                               std::string_view text) {
  const std::string wanted = Lower(text);
  for (std::size_t i = 0; i < N; ++i) {
    if (Lower(names[i]) == wanted) return static_cast<int>(i);
  }
  return std::nullopt;
}

class Applier {
 public:
  Applier(ParameterModel& model, SetOutcome& outcome) : m_(model), out_(outcome) {}

  // The gains given, each into the gain of the type its band ends up with.
  void ApplyBandGains() {
    for (const auto& [band_id, index] : band_gains_) {
      m_.bands[band_id].ActiveGain() = static_cast<std::uint16_t>(index);
    }
  }

  // Consumes one group from args[i...]; false with out_.error on a usage error.
  bool Group(std::span<const std::string> args, std::size_t& i) {
    const auto channel = ParseChannel(args[i]);
    if (!channel) return Fail("unknown channel \"" + args[i] + "\"");
    channel_ = *channel;
    if (++i >= args.size()) return Fail("missing parameter after \"" + args[i - 1] + "\"");
    const std::string param = Lower(args[i++]);
    std::string sub;
    if (param.rfind("eq", 0) == 0 || param == "hp" || param == "lp" || param == "limiter") {
      if (i >= args.size()) return Fail("missing field after \"" + param + "\"");
      sub = Lower(args[i++]);
    }
    if (i >= args.size()) return Fail("missing value for " + ChannelName(channel_) + " " + param);
    const std::string& value = args[i++];
    return Apply(param, sub, value);
  }

 private:
  bool Fail(std::string error) {
    out_.error = std::move(error);
    return false;
  }
  std::string What(const std::string& param, const std::string& sub) const {
    return ChannelName(channel_) + " " + param + (sub.empty() ? "" : " " + sub);
  }
  void Changed(int block) {
    const BlockAddress address{channel_, block};
    if (std::find(out_.changed.begin(), out_.changed.end(), address) == out_.changed.end()) {
      out_.changed.push_back(address);
    }
  }
  // The nearest entry of a table, with a warning when the value lay outside it.
  template <std::size_t N>
  std::optional<int> Nearest(const std::array<double, N>& table, const std::string& what,
                             std::string_view text, const char* unit) {
    const auto value = Number(text);
    if (!value) return std::nullopt;
    const int index = NearestIndex(table, std::clamp(*value, table.front(), table.back()));
    if (*value < table.front() || *value > table.back()) {
      out_.warnings.push_back(what + " " + std::string(text) + " is out of range; set to " +
                              FormatOneDecimal(table[index]) + unit);
    }
    out_.values.push_back(
        {what, *value, table[index], unit, *value < table.front() || *value > table.back()});
    return index;
  }
  std::optional<bool> OnOff(std::string_view text) const {
    const std::string v = Lower(text);
    if (v == "on" || v == "1" || v == "yes") return true;
    if (v == "off" || v == "0" || v == "no") return false;
    return std::nullopt;
  }

  bool Apply(const std::string& param, const std::string& sub, const std::string& value) {
    ChannelParams& ch = m_.channels[channel_];
    const std::string what = What(param, sub);
    const auto bad = [&] { return Fail("bad value \"" + value + "\" for " + what); };
    const auto output_only = [&] { return Fail(what + ": only outputs have this"); };
    if (param == "gain") {
      const auto index = Nearest(kChannelGainTable, what, value, " dB");
      if (!index) return bad();
      ch.gain = static_cast<std::uint8_t>(*index);
      Changed(kChannelBlock);
    } else if (param == "delay") {
      const auto ms = Number(value);
      if (!ms) return bad();
      const double steps = std::round(*ms / kDelayStepMs);
      const int clamped = static_cast<int>(std::clamp(steps, 0.0, double{kDelayMax}));
      if (steps < 0 || steps > kDelayMax) {
        out_.warnings.push_back(what + " " + value + " is out of range; set to " +
                                FormatDelay(clamped));
      }
      ch.delay = static_cast<std::uint16_t>(clamped);
      out_.values.push_back({what, *ms, clamped * kDelayStepMs, " ms", steps < 0 || steps > kDelayMax});
      Changed(kChannelBlock);
    } else if (param == "mute" || param == "bypass") {
      const auto on = OnOff(value);
      if (!on) return bad();
      (param == "mute" ? ch.mute : ch.eq_bypass) = *on ? 1 : 0;
      Changed(kChannelBlock);
    } else if (param == "polarity") {
      const std::string v = Lower(value);
      if (v == "normal" || v == "+" || v == "0") {
        ch.polarity = 0;
      } else if (v == "inverted" || v == "-" || v == "1") {
        ch.polarity = 1;
      } else {
        return bad();
      }
      Changed(kChannelBlock);
    } else if (param == "route") {
      if (!IsOutput(channel_)) return output_only();
      const auto index = ChoiceIndex(kRouteNames, value);
      if (!index) return bad();
      m_.Output(channel_).route = static_cast<std::uint8_t>(*index);
      Changed(kChannelBlock);
    } else if (param.size() == 3 && param.rfind("eq", 0) == 0 && param[2] >= '1' &&
               param[2] <= '8') {
      return Band(param[2] - '1', sub, value, what);
    } else if (param == "hp" || param == "lp") {
      return Crossover(param == "hp", sub, value, what);
    } else if (param == "limiter") {
      if (!IsOutput(channel_)) return output_only();
      return Limiter(sub, value, what);
    } else {
      return Fail("unknown parameter \"" + param + "\"");
    }
    return true;
  }

  bool Band(int number, const std::string& sub, const std::string& value, const std::string& what) {
    const int band_id = BandId(channel_, number);
    BandParams& band = m_.bands[band_id];
    std::optional<int> index;
    if (sub == "type") {
      const std::string v = Lower(value);
      index = v == "peq" || v == "pk" ? 0 : v == "ls" ? 1 : v == "hs" ? 2 : -1;
      if (*index < 0) index = ChoiceIndex(kEqTypeNames, value);
      if (!index) return Fail("bad value \"" + value + "\" for " + what);
      band.type = static_cast<std::uint8_t>(*index);
    } else if (sub == "freq") {
      index = Nearest(kFreqTable, what, value, " Hz");
      if (index) band.freq = static_cast<std::uint8_t>(*index);
    } else if (sub == "gain") {
      // The gain of the band's type, as the editor's gain field sets it.
      index = Nearest(kEqGainTable, what, value, " dB");
      if (index) band_gains_[band_id] = *index;
    } else if (sub == "q") {
      index = Nearest(kQTable, what, value, "");
      if (index) band.q = static_cast<std::uint8_t>(*index);
    } else {
      return Fail("unknown EQ field \"" + sub + "\" (type, freq, gain, q)");
    }
    if (!index) return Fail("bad value \"" + value + "\" for " + what);
    Changed(EqBandBlockNumber(band_id));
    return true;
  }

  bool Crossover(bool high_pass, const std::string& sub, const std::string& value,
                 const std::string& what) {
    ChannelParams& ch = m_.channels[channel_];
    if (sub == "freq") {
      std::optional<int> index;
      if (Lower(value) == "off") {
        index = high_pass ? 0 : kFreqIndexMax;
      } else {
        index = Nearest(kFreqTable, what, value, " Hz");
      }
      if (!index) return Fail("bad value \"" + value + "\" for " + what);
      (high_pass ? ch.hp_freq : ch.lp_freq) = static_cast<std::uint8_t>(*index);
    } else if (sub == "type") {
      std::optional<int> index = ChoiceIndex(kCrossoverTypeNames, value);
      if (!index) {
        const auto n = Number(value);
        if (n && *n >= 1 && *n <= 12 && *n == std::floor(*n)) index = static_cast<int>(*n) - 1;
      }
      if (!index) return Fail("bad value \"" + value + "\" for " + what);
      (high_pass ? ch.hp_type : ch.lp_type) = static_cast<std::uint8_t>(*index);
    } else {
      return Fail("unknown crossover field \"" + sub + "\" (freq, type)");
    }
    Changed(kCrossoverBlock);
    return true;
  }

  bool Limiter(const std::string& sub, const std::string& value, const std::string& what) {
    OutputParams& out = m_.Output(channel_);
    std::string text = Lower(value);
    // Units are optional: "-6", "-6dB", "20ms", "8x", "4:1".
    for (const char* unit : {"db", "ms"}) {
      if (text.size() > 2 && text.ends_with(unit)) text.resize(text.size() - 2);
    }
    std::optional<int> index;
    if (sub == "threshold" || sub == "attack") {
      const auto v = Number(text);
      if (!v) return Fail("bad value \"" + value + "\" for " + what);
      // The nearest entry of the list, with a warning outside it.
      const auto& names = sub == "threshold"
                              ? std::span<const std::string_view>(kLimiterThresholdNames)
                              : std::span<const std::string_view>(kLimiterAttackNames);
      double best = 1e300;
      for (std::size_t i = 0; i < names.size(); ++i) {
        const double entry = *ParseDecimal(std::string(
            names[i].substr(0, names[i].ends_with("dB") ? names[i].size() - 2 : names[i].size())));
        if (std::abs(entry - *v) < best) {
          best = std::abs(entry - *v);
          index = static_cast<int>(i);
        }
      }
      if (best > 0.26) {
        out_.warnings.push_back(what + " " + value + " is not offered; set to " +
                                std::string(names[*index]));
      }
      (sub == "threshold" ? out.limiter_threshold : out.limiter_attack) =
          static_cast<std::uint8_t>(*index);
    } else if (sub == "release") {
      index = ChoiceIndex(kLimiterReleaseNames, text);
      if (!index) return Fail("bad value \"" + value + "\" for " + what + " (2x .. 32x)");
      out.limiter_release = static_cast<std::uint8_t>(*index);
    } else if (sub == "ratio") {
      if (text == "inf") text = "inf:1";
      if (text.find(':') == std::string::npos) text += ":1";
      index = ChoiceIndex(kLimiterRatioNames, text);
      if (!index) return Fail("bad value \"" + value + "\" for " + what + " (1.2:1 .. inf:1)");
      out.limiter_ratio = static_cast<std::uint8_t>(*index);
    } else {
      return Fail("unknown limiter field \"" + sub + "\" (threshold, attack, release, ratio)");
    }
    Changed(kLimiterBlock);
    return true;
  }

  ParameterModel& m_;
  SetOutcome& out_;
  std::map<int, int> band_gains_;  // band id -> EqGainTable index
  int channel_ = 0;
};

template <std::size_t N>
std::string Choice(const std::array<std::string_view, N>& names, int index) {
  return index >= 0 && index < static_cast<int>(N) ? std::string(names[index])
                                                   : "?" + std::to_string(index);
}

}  // namespace

std::optional<int> ParseChannel(std::string_view name) {
  const std::string n = Lower(name);
  if (n == "ina" || n == "in_a") return kInA;
  if (n == "h_out") return kOut1;
  if (n == "m_out") return kOut2;
  if (n == "l_out") return kOut3;
  for (int c = 0; c < kChannelCount; ++c) {
    if (n == kNames[c]) return c;
  }
  return std::nullopt;
}

std::string ChannelName(int channel) { return std::string(kNames[channel]); }

bool SetValue::Moved() const {
  return std::abs(stored - requested) > 1e-9 * std::max(1.0, std::abs(requested));
}

std::string SetValue::Describe() const {
  return parameter + " " + FormatShortest(requested) + unit + " -> " +
         FormatShortest(std::round(stored * 1000) / 1000) + unit;
}

SetOutcome ApplySetArguments(std::span<const std::string> args, ParameterModel& model) {
  SetOutcome outcome;
  if (args.empty()) {
    outcome.error = "set needs CHANNEL PARAM VALUE";
    return outcome;
  }
  ParameterModel changed = model;
  Applier applier(changed, outcome);
  for (std::size_t i = 0; i < args.size();) {
    if (!applier.Group(args, i)) {
      outcome.changed.clear();
      outcome.warnings.clear();
      return outcome;
    }
  }
  applier.ApplyBandGains();
  model = changed;
  return outcome;
}

std::vector<std::string> DescribeChannel(const ParameterModel& m, int channel) {
  const ChannelParams& ch = m.channels[channel];
  std::vector<std::string> lines;
  std::string head = ChannelName(channel) + ": gain " + FormatChannelGain(ch.gain) + ", delay " +
                     FormatDelay(ch.delay) + ", mute " + (ch.mute != 0 ? "on" : "off") +
                     ", polarity " + (ch.polarity != 0 ? "inverted" : "normal") + ", EQ bypass " +
                     (ch.eq_bypass != 0 ? "on" : "off");
  if (IsOutput(channel)) head += ", route " + Choice(kRouteNames, m.Output(channel).route);
  lines.push_back(head);
  lines.push_back(
      "  crossover: high-pass " + Choice(kCrossoverTypeNames, ch.hp_type) + " " +
      (ch.hp_freq == 0 ? "off" : FormatOneDecimal(kFreqTable[ch.hp_freq]) + " Hz") + ", low-pass " +
      Choice(kCrossoverTypeNames, ch.lp_type) + " " +
      (ch.lp_freq == kFreqIndexMax ? "off" : FormatOneDecimal(kFreqTable[ch.lp_freq]) + " Hz"));
  for (int n = 0; n < kBandsPerChannel; ++n) {
    const BandParams& b = m.bands[BandId(channel, n)];
    lines.push_back("  eq" + std::to_string(n + 1) + ": " + Choice(kEqTypeNames, b.type) + " " +
                    FormatOneDecimal(kFreqTable[std::min<int>(b.freq, kFreqIndexMax)]) + " Hz " +
                    FormatOneDecimal(kEqGainTable[std::min<int>(b.ActiveGain(), kEqGainIndexMax)]) +
                    " dB Q " + Format("%.2f", kQTable[std::min<int>(b.q, kQIndexMax)]));
  }
  if (IsOutput(channel)) {
    const OutputParams& o = m.Output(channel);
    lines.push_back("  limiter: threshold " + Choice(kLimiterThresholdNames, o.limiter_threshold) +
                    ", attack " + Choice(kLimiterAttackNames, o.limiter_attack) + " ms, release " +
                    Choice(kLimiterReleaseNames, o.limiter_release) + ", ratio " +
                    Choice(kLimiterRatioNames, o.limiter_ratio));
  }
  return lines;
}

std::vector<std::uint8_t> ImageDataBytes(std::string_view image_text) {
  std::vector<std::uint8_t> data(kImageDataLength);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = HexByteAt(image_text, 21 + 2 * i);
  return data;
}

std::vector<ByteDifference> CompareImageData(std::span<const std::uint8_t> sent,
                                             std::span<const std::uint8_t> read,
                                             bool skip_lock_byte) {
  std::vector<ByteDifference> out;
  const std::size_t lock_byte = 8 * kLockRecord;
  for (std::size_t i = 0; i < std::min(sent.size(), read.size()); ++i) {
    if (skip_lock_byte && i == lock_byte) continue;
    if (sent[i] != read[i]) out.push_back({i, sent[i], read[i]});
  }
  return out;
}

std::string DescribeDifference(const ByteDifference& d) {
  const int record = static_cast<int>(d.index / 8);
  std::string where;
  if (record < 64) {
    const BlockAddress block = BlockOfImageRecord(record);
    switch (KindOfBlock(block.channel, block.block)) {
      case BlockKind::kChannel:
        where = ChannelName(block.channel) + " gain/delay/mute";
        break;
      case BlockKind::kCrossover:
        where = ChannelName(block.channel) + " crossover";
        break;
      case BlockKind::kLimiter:
        where = ChannelName(block.channel) + " limiter";
        break;
      case BlockKind::kEqBand:
        where = ChannelName(block.channel) + " EQ band " +
                std::to_string(block.block - FirstEqBlock(block.channel) + 1);
        break;
    }
  } else {
    where = "device data";
  }
  char tail[64];
  std::snprintf(tail, sizeof tail, " (record %d), byte %zu: sent %02X, read %02X", record,
                d.index % 8, d.sent, d.read);
  return where + tail;
}

}  // namespace veltrane
