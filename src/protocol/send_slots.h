#pragma once

// 100 pending flags for send slots 1..100; slots 1..64, 66, 68 and 69 own a 20-byte
// frame rebuilt in place on every change. A change costs one copy and one flag: a slot
// marked many times before it leaves goes out once with the latest bytes.

#include <array>
#include <cstdint>

#include "frame/frame_codec.h"

namespace veltrane {

inline constexpr int kSlotCount = 100;
inline constexpr int kSettingsRequestSlot = 65;  // built when sent, with the current DeviceId
inline constexpr int kUnlockSlot = 66;
inline constexpr int kLockSlot = 68;
inline constexpr int kSettingsWriteSlot = 69;

class SendSlotTable {
 public:
  // Stores the frame and marks the slot (1..64, 66, 68, 69).
  void Store(int slot, const WriteFrame& frame) {
    frames_[slot] = frame;
    pending_[slot - 1] = true;
  }
  void Mark(int slot) { pending_[slot - 1] = true; }
  void Clear(int slot) { pending_[slot - 1] = false; }
  void ClearAll() { pending_.fill(false); }
  bool Pending(int slot) const { return pending_[slot - 1]; }
  // Lowest pending slot, 0 when none.
  int LowestPending() const {
    for (int i = 0; i < kSlotCount; ++i) {
      if (pending_[i]) return i + 1;
    }
    return 0;
  }
  bool HasFrame(int slot) const {
    return (slot >= 1 && slot <= 64) || slot == kUnlockSlot || slot == kLockSlot ||
           slot == kSettingsWriteSlot;
  }
  const WriteFrame& Frame(int slot) const { return frames_[slot]; }

 private:
  std::array<bool, kSlotCount> pending_{};
  std::array<WriteFrame, kSettingsWriteSlot + 1> frames_{};
};

}  // namespace veltrane
