#include "tuning/synthetic_room.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "response/complex_response.h"

namespace veltrane {
namespace {

// SplitMix64, spelled out so that every standard library draws the same rooms.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(0x9E3779B97F4A7C15ull * (seed + 1ull)) {}

  double Uniform(double low, double high) {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return low + (high - low) * static_cast<double>(z >> 11) * 0x1.0p-53;
  }
  double LogUniform(double low, double high) {
    return std::exp(Uniform(std::log(low), std::log(high)));
  }
  int Integer(int low, int high) {  // low..high inclusive
    return std::min(high, low + static_cast<int>(Uniform(0, high - low + 1)));
  }

 private:
  std::uint64_t state_;
};

struct Mode {
  double hz, gain_db, q;
};

struct Ripple {
  double amplitude_db, cycles_per_octave, phase;
};

struct Room {
  double low_corner_hz, high_corner_hz, baffle_hz;
  int low_order;
  std::vector<Mode> modes;
  std::vector<Ripple> ripples;
  double delay_ms;
};

Room DrawRoom(Random& random) {
  Room room;
  room.low_corner_hz = random.LogUniform(30, 90);
  room.low_order = random.Integer(1, 2) * 2;  // 12 or 24 dB per octave
  room.high_corner_hz = random.LogUniform(12000, 22000);
  room.baffle_hz = random.LogUniform(200, 800);
  const int modes = random.Integer(4, 9);
  for (int m = 0; m < modes; ++m) {
    // Peaks up to +12 dB, dips down to -18 dB; most are narrow.
    const double gain = random.Uniform(0, 1) < 0.6 ? random.Uniform(3, 12) : -random.Uniform(4, 18);
    room.modes.push_back({random.LogUniform(28, 350), gain, random.LogUniform(2, 25)});
  }
  for (int r = 0; r < 3; ++r) {
    room.ripples.push_back(
        {random.Uniform(0.3, 1.5), random.Uniform(0.5, 4), random.Uniform(0, 6.283185307)});
  }
  room.delay_ms = random.Uniform(1, 15);
  return room;
}

double LevelDbAt(const Room& room, double hz, Random& noise) {
  double db = -10 * std::log10(1 + std::pow(room.low_corner_hz / hz, 2.0 * room.low_order));
  db -= 10 * std::log10(1 + std::pow(hz / room.high_corner_hz, 4));
  // Baffle step: 6 dB more above it, as a first-order shelf.
  const double x = hz / room.baffle_hz;
  db += 10 * std::log10((1 + 4 * x * x) / (1 + x * x)) - 6;
  for (const Mode& m : room.modes) {
    const double detune = m.q * (hz / m.hz - m.hz / hz);
    db += m.gain_db / (1 + detune * detune);
  }
  const double octaves = std::log2(hz / 20);
  for (const Ripple& r : room.ripples) {
    db += r.amplitude_db * std::sin(6.283185307 * r.cycles_per_octave * octaves + r.phase);
  }
  return db + noise.Uniform(-0.3, 0.3);
}

}  // namespace

MeasuredResponse SyntheticRoom(std::uint32_t seed, const SyntheticRoomOptions& options) {
  Random random(seed);
  const Room room = DrawRoom(random);
  MeasuredResponse response;
  response.has_phase = options.with_phase;
  const std::vector<double> hz =
      LogFrequencies(options.low_hz, options.high_hz, options.points_per_octave);
  for (const double f : hz) {
    const double level = options.mean_spl_db + LevelDbAt(room, f, random);
    // Only the time of flight: enough for a phase column that is not all zeros.
    const double phase =
        options.with_phase ? std::remainder(-360 * f * room.delay_ms / 1000, 360) : 0;
    response.points.push_back({f, level, phase});
  }
  return response;
}

}  // namespace veltrane
