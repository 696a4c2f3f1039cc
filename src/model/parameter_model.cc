#include "model/parameter_model.h"

#include <algorithm>

#include "model/tables.h"

namespace veltrane {

BandParams DefaultBand(int band_number) {
  BandParams band;
  band.freq = kDefaultBandFreqs[band_number];
  return band;
}

BandValues BandValuesOf(const BandParams& band) {
  return {std::min<int>(band.type, kHighShelf), kFreqTable[std::min<int>(band.freq, kFreqIndexMax)],
          kEqGainTable[std::min<int>(band.ActiveGain(), kEqGainIndexMax)],
          kQTable[std::min<int>(band.q, kQIndexMax)]};
}

ParameterModel::ParameterModel() {
  for (int b = 0; b < kBandCount; ++b) bands[b] = DefaultBand(BandNumber(b));
}

}  // namespace veltrane
