#pragma once

// The USB HID transport: follows the HID devices present (polled, hidapi has no plug
// notices), recognises the processor, writes each frame as 65-byte output reports, reads
// input reports on a thread of its own, puts each reply together from them on the window
// thread and hands its bytes to the receiver (the engine), and logs every report written
// and every error to the history. Only this link knows about reports.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frame/hid_reports.h"
#include "link/hid_backend.h"
#include "protocol/link.h"
#include "protocol/timer.h"

namespace veltrane {

class ProtocolEngine;

// The hidden parts of the main window that the HID layer drives.
class HidLinkView {
 public:
  virtual ~HidLinkView() = default;
  // HistoryListBox: append, select the newest line.
  virtual void AddHistoryLine(const std::string& line) = 0;
  // DevListBox: the display names of the devices present, in enumeration order.
  virtual void SetDeviceList(const std::vector<std::string>& names) = 0;
  // The hidden status label (UTF-8).
  virtual void SetStatusText(const std::string& text) = 0;
  // The port list and the device-number list.
  virtual void SetPortListsEnabled(bool enabled) = 0;
};

inline constexpr int kHidPollIntervalMs = 1000;
inline constexpr char kHidArrivedText[] = "已接上设备.";
inline constexpr char kHidRemovedText[] = "已移除设备.";

class HidLink : public ByteLink {
 public:
  HidLink(HidBackend& backend, TimerHost& timers, HidLinkView& view);
  ~HidLink() override;
  HidLink(const HidLink&) = delete;
  HidLink& operator=(const HidLink&) = delete;

  // Replies go to the engine; the engine's device link follows the processor's presence.
  void AttachEngine(ProtocolEngine* engine);
  // Where the bytes of each whole reply go (AttachEngine sets the engine).
  void SetReceiver(ByteReceiver receiver) { receiver_ = std::move(receiver); }
  // First look at the devices once the event loop runs, then every kHidPollIntervalMs.
  void Start();
  // Stops polling and input and closes the device.
  void Stop();
  // Compares the devices present with the last look: removal notices, arrival notices,
  // then one general change. Called by the poll timer; public for tests.
  void PollDevices();

  // HidMode: the processor's device was found and is in use (CurrentHidDevice).
  bool HidMode() const { return current_index_ >= 0; }
  const std::vector<HidDeviceInfo>& Devices() const { return devices_; }
  // Input reports and read errors handed to the window thread so far.
  std::size_t ReportsReceived() const { return reports_received_; }

  // A frame as 64-byte reports, stopped by the first report that fails (a long write's
  // block takes nine, the last with 42 bytes).
  void Write(std::span<const std::uint8_t> bytes) override;
  // UsbHidSendDataClick: one blocking write, logged. False without a device or on error.
  bool WriteReport(const HidReport& report);

 private:
  void OnArrival(const HidDeviceInfo& info);
  void OnRemoval(const HidDeviceInfo& info);
  // The general change notice: rebuild the device list and find the processor again.
  void DevicesChanged();
  void ReleaseCurrent();
  void StartInput();
  void StopInput();
  void ReaderLoop(HidHandle handle, std::uint64_t generation);
  void OnReaderResult(std::uint64_t generation, const HidReadResult& result);
  bool EngineConnected() const;

  HidBackend& backend_;
  TimerHost& timers_;
  HidLinkView& view_;
  ProtocolEngine* engine_ = nullptr;
  ByteReceiver receiver_;
  HidReplyAssembler assembler_;
  std::unique_ptr<Timer> poll_timer_;

  // Window thread only.
  std::vector<HidDeviceInfo> present_;  // the last look, to compare the next one with
  bool looked_ = false;
  std::vector<HidDeviceInfo> devices_;  // DevListBox
  int current_index_ = -1;
  HidHandle current_handle_ = kNoHidHandle;
  bool input_failed_ = false;  // the reader of current_handle_ ended on an error
  std::size_t reports_received_ = 0;

  // The reader thread. No mutex: it shares with the window thread only stop_ (atomic) and
  // current_handle_'s device, which the backend lets one thread read while another writes.
  // StopInput joins it before the handle is closed. Its results travel to the window thread
  // as queued calls on context_, and a call that arrives for an older generation (input was
  // restarted or stopped meanwhile) is dropped.
  std::thread reader_;
  std::atomic<bool> stop_{false};
  std::uint64_t generation_ = 0;  // window thread only
  QObject context_;
};

}  // namespace veltrane
