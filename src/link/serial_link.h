#pragma once

// The serial transport: 9600 baud, 8 data bits, no parity, one stop bit. Received bytes
// are gathered for 50 ms after the first one arrives and handed to the receiver in one
// call, so the reply dispatcher runs once per gathering rather than once per byte.

#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "protocol/link.h"

namespace veltrane {

class SerialLink : public QObject, public SerialPort {
  Q_OBJECT

 public:
  using Receiver = ByteReceiver;

  static constexpr int kBaudRate = 9600;
  static constexpr qint64 kQueueSize = 4096;
  static constexpr int kGatherMs = 50;
  static constexpr qint64 kReadChunk = 1025;

  explicit SerialLink(QObject* parent = nullptr);
  ~SerialLink() override;

  // Called on the window thread with every byte one notification found, never empty.
  void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

  // `port_name` is a system location (/dev/ttyUSB0) or a name Qt resolves (ttyUSB0, COM3).
  bool Open(const std::string& port_name) override;
  // The group to join when the last Open failed for lack of access to the device.
  std::string OpenFailureNote() const override { return open_failure_note_; }
  std::string OpenFailureReason() const override { return open_failure_reason_; }
  void Close() override;
  // False once a read or write error has released the port.
  bool IsOpen() const override { return port_.isOpen(); }
  void Write(std::span<const std::uint8_t> bytes) override;

  // Why the last Open failed or the port was released, for diagnostics.
  QSerialPort::SerialPortError LastError() const { return last_error_; }
  // A notification is waiting for its gathering time.
  bool NotificationPending() const { return gather_.isActive(); }
  // Receive notifications handled so far (each handed its bytes in one call).
  int Notifications() const { return notifications_; }

 private:
  void OnReadyRead();
  void OnGatherElapsed();
  void OnErrorOccurred(QSerialPort::SerialPortError error);
  void Release(QSerialPort::SerialPortError error);

  QSerialPort port_;
  QTimer gather_;  // running = one receive notification outstanding
  Receiver receiver_;
  std::vector<std::uint8_t> received_;
  QSerialPort::SerialPortError last_error_ = QSerialPort::NoError;
  std::string open_failure_note_;
  std::string open_failure_reason_;
  std::uint64_t open_count_ = 0;  // voids a deferred release meant for an earlier opening
  int notifications_ = 0;
};

}  // namespace veltrane
