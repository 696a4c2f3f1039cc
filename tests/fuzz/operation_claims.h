#pragma once

// The storage operations as the fuzz rigs play them: a script's flags say which run, and
// they claim the replies the real ones would (a backup the records, a file save or a
// preset load the image, the file save first, as only one runs at a time), releasing
// each claim when the reply it waited for has come.

#include <string_view>

#include "protocol/engine.h"

namespace veltrane {

class OperationClaims {
 public:
  virtual ~OperationClaims() = default;

  // Claims and releases as the flags now say.
  void Claim(ProtocolEngine& engine) {
    if (backup) {
      engine.ClaimReplies(kObjPresetImage, [this](const Frame&, std::string_view record) {
        OnBackupRecord(record);
      });
    } else {
      engine.ReleaseReplies(kObjPresetImage);
    }
    if (!file_save && !preset_load) {
      engine.ReleaseReplies(kObjImage);
      return;
    }
    engine.ClaimReplies(kObjImage, [this, &engine](const Frame& frame, std::string_view image) {
      if (file_save) {
        file_save = false;
        OnImageToFile(image);
        Claim(engine);
        if (engine.Connected()) engine.StartScheduler();
        return;
      }
      engine.ApplyReceivedImage(frame);
      preset_load = false;
      OnPresetLoadEnded();
      Claim(engine);
    });
  }

  bool backup = false;
  bool file_save = false;
  bool preset_load = false;

 protected:
  virtual void OnBackupRecord(std::string_view /*record*/) {}
  virtual void OnImageToFile(std::string_view /*image*/) {}
  virtual void OnPresetLoadEnded() {}
};

}  // namespace veltrane
