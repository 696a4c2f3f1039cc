#pragma once

// Alignment help for two outputs that share a crossover: the polarity and delay that make
// their sum flattest over one octave around the point where their levels cross.

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "model/parameter_model.h"
#include "response/complex_response.h"

namespace veltrane {

// Peak-to-peak level of a response in dB; infinity when it reaches zero anywhere.
double FlatnessDb(std::span<const ComplexPoint> curve);

struct AlignmentSuggestion {
  std::array<int, 2> outputs{};      // the two output channels, as asked
  double crossover_hz = 0;           // where their levels cross
  std::array<int, 2> polarity{};     // model values: 0 normal, 1 inverted
  std::array<int, 2> delay_steps{};  // model values, steps of kDelayStepMs
  double flatness_before_db = 0;     // with the model's own polarity and delay
  double flatness_after_db = 0;      // with the suggestion
};

enum class AlignmentError {
  kNotTwoOutputs,  // the same output twice, or a channel that is not an output
  kSilent,         // an output is muted or fed by nothing, so there is no sum to shape
  kNoCrossover,    // the two levels never cross between 20 Hz and 20 kHz
};

struct AlignmentResult {
  std::optional<AlignmentSuggestion> suggestion;
  AlignmentError error = AlignmentError::kNotTwoOutputs;
};

// Keeps the first output's polarity and chooses the second's; puts a delay of 0 ..
// kDelayMax steps on one output and 0 on the other. Among equally flat choices the
// second keeps the first's polarity, and the shorter delay wins.
AlignmentResult SuggestAlignment(const ParameterModel& model, int first, int second);

// Where the levels of the two outputs' paths cross, nearest the middle of the band the
// lower one's low-pass and the upper one's high-pass leave between them.
std::optional<double> CrossoverPointHz(const ParameterModel& model, int first, int second);

// The model with the suggestion's polarities and delays written in.
ParameterModel WithAlignment(ParameterModel model, const AlignmentSuggestion& suggestion);

// The octave around a crossover in 1/48 octaves, on which flatness is judged.
std::vector<double> CrossoverOctave(double crossover_hz);

}  // namespace veltrane
