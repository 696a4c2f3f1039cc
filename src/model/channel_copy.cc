#include "model/channel_copy.h"

namespace veltrane {

void CopyChannelParts(ParameterModel& model, int from, int to, CopyParts parts) {
  const auto valid = [](int channel) { return channel >= 0 && channel < kChannelCount; };
  if (from == to || !valid(from) || !valid(to)) return;
  const ChannelParams& source = model.channels[from];
  ChannelParams& target = model.channels[to];
  if (parts.eq) {
    for (int band = 0; band < kBandsPerChannel; ++band) {
      model.bands[BandId(to, band)] = model.bands[BandId(from, band)];
    }
    target.eq_bypass = source.eq_bypass;
  }
  if (parts.crossover) {
    target.hp_freq = source.hp_freq;
    target.hp_type = source.hp_type;
    target.lp_freq = source.lp_freq;
    target.lp_type = source.lp_type;
  }
  if (parts.gain_delay) {
    target.gain = source.gain;
    target.delay = source.delay;
  }
  if (parts.limiter && IsOutput(from) && IsOutput(to)) {
    const OutputParams& out = model.Output(from);
    OutputParams& in = model.Output(to);
    in.limiter_threshold = out.limiter_threshold;
    in.limiter_attack = out.limiter_attack;
    in.limiter_release = out.limiter_release;
    in.limiter_ratio = out.limiter_ratio;
  }
}

}  // namespace veltrane
