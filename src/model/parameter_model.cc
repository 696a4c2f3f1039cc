#include "model/parameter_model.h"

namespace veltrane {

BandParams DefaultBand(int band_number) {
  BandParams band;
  band.freq = kDefaultBandFreqs[band_number];
  return band;
}

ParameterModel::ParameterModel() {
  for (int b = 0; b < kBandCount; ++b) bands[b] = DefaultBand(BandNumber(b));
}

}  // namespace veltrane
