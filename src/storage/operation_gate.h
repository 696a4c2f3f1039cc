#pragma once

// One operation on the processor at a time. Presets, the preset file and the backup each
// stop the keep-alive poll and read the receive buffer for their own answer; two at once
// would take each other's replies (a recall image saved as a file, a file's image poll-
// cleared). Each takes the gate when it starts and gives it back however it ends.

namespace veltrane {

class OperationGate {
 public:
  bool TryEnter() {
    if (busy_) return false;
    busy_ = true;
    return true;
  }
  void Leave() { busy_ = false; }
  bool Busy() const { return busy_; }

 private:
  bool busy_ = false;
};

}  // namespace veltrane
