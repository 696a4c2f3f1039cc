#include "link/serial_link.h"

#include <QString>
#include <algorithm>

#include "link/serial_access.h"

namespace veltrane {
namespace {

// At 9600 baud a byte takes about 1.04 ms; the margin covers a slow driver. A write that
// still has not left by then is dropped like a failed one: the time-outs end the
// connection.
int WriteTimeoutMs(std::size_t bytes) { return 1000 + static_cast<int>(bytes * 2); }

}  // namespace

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
  gather_.setSingleShot(true);
  gather_.setTimerType(Qt::PreciseTimer);
  gather_.setInterval(kGatherMs);
  received_.reserve(kQueueSize);
  connect(&port_, &QSerialPort::readyRead, this, &SerialLink::OnReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::OnErrorOccurred);
  connect(&gather_, &QTimer::timeout, this, &SerialLink::OnGatherElapsed);
}

SerialLink::~SerialLink() { Close(); }

bool SerialLink::Open(const std::string& port_name) {
  Close();
  last_error_ = QSerialPort::NoError;
  open_failure_note_.clear();
  open_failure_reason_.clear();
  port_.setPortName(QString::fromStdString(port_name));
  // Qt opens the device exclusively (lock file and TIOCEXCL on Unix), so a port that another
  // program holds fails here.
  if (!port_.open(QIODevice::ReadWrite)) {
    last_error_ = port_.error();
    open_failure_reason_ = port_.errorString().toStdString();
    port_.clearError();
    // A port that is in use also fails with PermissionError: the note tells them apart.
    if (last_error_ == QSerialPort::PermissionError) {
      open_failure_note_ = SerialAccessNote(port_name);
    }
    return false;
  }
  // Qt applies all its settings on open, so flow control ends up off rather than as the
  // driver had it: a port left with hardware handshake by another program would otherwise
  // hold every write. The four line settings are applied and checked here.
  const bool accepted = port_.setBaudRate(kBaudRate) && port_.setDataBits(QSerialPort::Data8) &&
                        port_.setParity(QSerialPort::NoParity) &&
                        port_.setStopBits(QSerialPort::OneStop);
  if (!accepted) {
    last_error_ = port_.error();
    // Settings a device refuses: it is no serial port (a regular file, /dev/null).
    open_failure_reason_ = port_.errorString().toStdString();
    port_.close();
    port_.clearError();
    return false;
  }
  port_.setReadBufferSize(kQueueSize);
  // What an earlier program left in the driver's input queue (a reply it stopped waiting
  // for) would otherwise be read as this connection's first answer.
  port_.clear(QSerialPort::Input);
  ++open_count_;
  return true;
}

void SerialLink::Close() {
  // A notification still waiting for its 50 ms is dropped: the connection gave it its
  // chance before closing, and close must not wait for the event loop.
  gather_.stop();
  received_.clear();
  if (!port_.isOpen()) return;
  // Purge both queues so that closing never waits for output to drain.
  port_.clear(QSerialPort::AllDirections);
  port_.close();
  port_.clearError();
}

void SerialLink::Write(std::span<const std::uint8_t> bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const qint64 size = static_cast<qint64>(bytes.size());
  if (port_.write(data, size) != size) {
    Release(port_.error());
    return;
  }
  // Blocking like the processor's pacing expects: the frame has left when Write returns.
  while (port_.isOpen() && port_.bytesToWrite() > 0) {
    if (!port_.waitForBytesWritten(WriteTimeoutMs(bytes.size()))) {
      const auto error = port_.error();
      Release(error == QSerialPort::NoError ? QSerialPort::TimeoutError : error);
      return;
    }
  }
}

void SerialLink::OnReadyRead() {
  // One notification at a time: bytes that arrive during the wait join this one.
  if (!gather_.isActive()) gather_.start();
}

void SerialLink::OnGatherElapsed() {
  if (!port_.isOpen()) return;
  received_.clear();
  // Read everything queued, in passes of the read buffer's size.
  char chunk[kReadChunk];
  while (port_.bytesAvailable() > 0) {
    const qint64 n = port_.read(chunk, kReadChunk);
    if (n <= 0) break;
    received_.insert(received_.end(), chunk, chunk + n);
  }
  if (received_.empty()) return;
  ++notifications_;
  // The receiver may close the port; nothing of the port is touched after it.
  const std::vector<std::uint8_t> bytes = std::move(received_);
  received_ = {};
  if (receiver_) receiver_(bytes);
}

void SerialLink::OnErrorOccurred(QSerialPort::SerialPortError error) {
  if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
  if (!port_.isOpen()) return;  // open failures are handled by Open
  // Released from the event loop rather than from inside QSerialPort's own signal.
  QTimer::singleShot(0, this, [this, error, opening = open_count_] {
    if (opening == open_count_) Release(error);
  });
}

void SerialLink::Release(QSerialPort::SerialPortError error) {
  // Later writes and the later close find nothing open; the connection's time-outs end it.
  last_error_ = error;
  gather_.stop();
  if (port_.isOpen()) port_.close();
  port_.clearError();
}

}  // namespace veltrane
