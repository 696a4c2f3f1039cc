// The measurement reader and the session file on any bytes: either a clear refusal, or
// curves that the averaging, the smoothing and the fit grid can take as they are (rising
// positive frequencies, finite levels, at least two points).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "tuning/measurement.h"
#include "tuning/tuning_session.h"

namespace veltrane::fuzz {
namespace {

void CheckCurve(const MeasuredResponse& curve) {
  FUZZ_CHECK(curve.points.size() >= 2);
  double last = 0;
  for (const MeasuredPoint& p : curve.points) {
    FUZZ_CHECK(std::isfinite(p.hz) && p.hz > last);
    FUZZ_CHECK(std::isfinite(p.level_db) && std::isfinite(p.phase_deg));
    last = p.hz;
  }
}

}  // namespace
}  // namespace veltrane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const MeasurementRead read = ReadMeasurementText(text);
  if (read.problem) {
    FUZZ_CHECK(read.curves.empty());
    FUZZ_CHECK(!read.problem->message.empty());
  } else {
    FUZZ_CHECK(!read.curves.empty());
    for (const MeasuredResponse& curve : read.curves) fuzz::CheckCurve(curve);
    const MeasuredResponse average = PowerAverage(read.curves);
    for (const MeasuredPoint& p : average.points) FUZZ_CHECK(std::isfinite(p.level_db));
    const MeasuredResponse smooth = Smooth(read.curves.front(), {SmoothingKind::kVariable, 1});
    FUZZ_CHECK(smooth.points.size() == read.curves.front().points.size());
    for (const MeasuredPoint& p : smooth.points) FUZZ_CHECK(std::isfinite(p.level_db));
  }
  const TuningSessionRead session = ReadTuningSession(text);
  if (session.session) {
    // What was read writes back to text that reads the same.
    const TuningSessionRead again = ReadTuningSession(WriteTuningSession(*session.session));
    FUZZ_CHECK(again.session.has_value());
  } else {
    FUZZ_CHECK(!session.error.empty());
  }
  return 0;
}
