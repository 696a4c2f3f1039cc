#include "cli/line_session.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <cstdio>

namespace veltrane {
namespace {

constexpr double kMsPerByte = 10.0 * 1000.0 / 9600.0;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// How one processor's outcome weighs on the run's exit status: a difference found
// outweighs a duplicate number, which outweighs a processor that did not answer.
int Worse(int a, int b) {
  const auto rank = [](int code) {
    switch (code) {
      case kExitDifference:
        return 3;
      case kExitDuplicate:
        return 2;
      case kExitNoAnswer:
        return 1;
      default:
        return 0;
    }
  };
  return rank(b) > rank(a) ? b : a;
}

std::string Number3(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%03d", n);
  return text;
}

}  // namespace

LineSession::LineSession(CtlOptions options, CtlEnvironment& environment, std::FILE* out,
                         std::FILE* err)
    : options_(std::move(options)),
      environment_(environment),
      out_(out),
      err_(err),
      terminal_(isatty(fileno(err)) != 0 && !options_.json) {}

LineSession::~LineSession() { *alive_ = false; }

std::string LineSession::DeviceFile(const std::string& dir, int number) {
  return QDir(Q(dir)).filePath(Q("device-" + Number3(number) + ".txt")).toStdString();
}

void LineSession::Start(std::function<void(int)> finished) {
  finished_ = std::move(finished);
  environment_.Timers().Defer(0, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired()) return;
    if (options_.command != "scan") {
      const QString dir = Q(options_.args[0]);
      if (options_.command == "backup-all" && !QDir().mkpath(dir)) {
        Fail(kExitUsage, "cannot make the folder " + options_.args[0]);
        return;
      }
      if (options_.command == "restore-all" && !QFileInfo(dir).isDir()) {
        Fail(kExitUsage, options_.args[0] + ": no such folder");
        return;
      }
    }
    Scan();
  });
}

void LineSession::Scan() {
  TimerHost& timers = environment_.Timers();
  SerialPort& port = environment_.Serial([this](std::span<const std::uint8_t> bytes) {
    if (scanner_) scanner_->OnBytes(bytes);
  });
  scanner_ = std::make_unique<LineScanner>(timers, port);
  scan_started_ms_ = timers.NowMs();
  const auto progress = [this](int number) {
    if (!terminal_) return;
    std::fprintf(err_, "\rscanning %d/%d", number, options_.last);
    std::fflush(err_);
  };
  const auto done = [this](std::vector<LineScanEntry> found) {
    scan_ms_ = environment_.Timers().NowMs() - scan_started_ms_;
    if (terminal_) std::fputs("\n", err_);
    for (const LineScanEntry& entry : found) {
      Device device;
      device.number = entry.device_number;
      device.garbled = entry.garbled;
      devices_.push_back(std::move(device));
    }
    if (options_.command == "restore-all") {
      // Files whose processor did not answer are failures too.
      const QStringList files =
          QDir(Q(options_.args[0])).entryList({QStringLiteral("device-???.txt")}, QDir::Files);
      for (const QString& name : files) {
        const int number = name.mid(7, 3).toInt();
        const bool present = std::any_of(devices_.begin(), devices_.end(),
                                         [&](const Device& d) { return d.number == number; });
        if (!present) orphan_files_.push_back(name.toStdString());
      }
    }
    // The next step starts once the scanner has finished with the port.
    environment_.Timers().Defer(0, [this, alive = std::weak_ptr<bool>(alive_)] {
      if (alive.expired()) return;
      scanner_.reset();
      NextDevice();
    });
  };
  if (!scanner_->Start(options_.port, options_.first, options_.last, options_.reply_ms, progress,
                       done)) {
    Fail(kExitNoAnswer, "cannot open " + options_.port + ": " + std::string(kMsgNoPort));
  }
}

void LineSession::Interrupt(int signal) {
  if (interrupt_code_ != 0) return;
  interrupt_code_ = 128 + signal;
  if (session_) {
    session_->Interrupt(signal);  // its end comes back through NextDevice
  } else if (scanner_ && scanner_->Running()) {
    scanner_->Cancel();
  }
}

void LineSession::NextDevice() {
  if (interrupt_code_ != 0) {
    for (; next_ < devices_.size(); ++next_) devices_[next_].error = "not started: stopped";
    Report();
    return;
  }
  // Two processors at one number would take the same frames: neither is backed up nor
  // written to, and the run says so before it goes on with the others.
  while (next_ < devices_.size() && devices_[next_].garbled) {
    devices_[next_].error = "possible duplicate device number";
    if (options_.command != "scan") {
      std::fprintf(err_,
                   "veltrane-ctl: device %s: two processors seem to answer at this number; "
                   "left out (give one of them another number with set-device)\n",
                   Number3(devices_[next_].number).c_str());
    }
    ++next_;
  }
  if (next_ >= devices_.size()) {
    Report();
    return;
  }
  Device& device = devices_[next_];
  CtlOptions sub;
  sub.port = options_.port;
  sub.device = device.number;
  sub.timeout_ms = options_.timeout_ms;
  sub.verify = options_.verify;
  if (options_.command == "scan") {
    sub.command = "info";
  } else if (options_.command == "backup-all") {
    sub.command = "backup";
    device.file = DeviceFile(options_.args[0], device.number);
  } else {
    device.file = DeviceFile(options_.args[0], device.number);
    if (!QFileInfo::exists(Q(device.file))) {
      device.error = "no file " + device.file;
      ++next_;
      NextDevice();
      return;
    }
    sub.command = "restore";
  }
  if (!device.file.empty()) sub.args = {device.file};
  if (terminal_ && options_.command != "scan") {
    std::fprintf(err_, "device %s: %s\n", Number3(device.number).c_str(), sub.command.c_str());
  }
  session_ = std::make_unique<CtlSession>(sub, environment_, out_, err_);
  session_->SetQuiet(true);
  session_->Start([this, alive = std::weak_ptr<bool>(alive_)](int code) {
    if (alive.expired()) return;
    Device& d = devices_[next_];
    d.code = code;
    d.result = session_->Result();
    d.error = d.result["error"].toString().toStdString();
    session_.reset();
    ++next_;
    NextDevice();
  });
}

// The table's text for one processor; a scan also puts what it found into `entry`.
std::string LineSession::DeviceText(const Device& d, QJsonObject& entry) const {
  if (d.garbled) return "possible duplicate device number";
  if (d.code != kExitDone) return d.error;
  if (options_.command == "scan") {
    const QJsonArray presets = d.result["presets"].toArray();
    const QString name = presets.isEmpty() ? QString() : presets[0].toObject()["name"].toString();
    const bool locked = d.result["locked"].toBool();
    entry["active_preset"] = d.result["active_preset"];
    entry["locked"] = locked;
    entry["first_preset_name"] = name;
    return "preset " + std::to_string(d.result["active_preset"].toInt()) + ", " +
           (locked ? "locked" : "unlocked") + ", first preset \"" + name.toStdString() + "\"";
  }
  if (options_.command == "restore-all" && options_.verify == false) return "restored " + d.file;
  return (options_.command == "backup-all" ? "saved " : "restored and verified ") + d.file;
}

void LineSession::Report() {
  const bool scan = options_.command == "scan";
  int code = kExitDone;
  QJsonArray list;
  std::vector<std::string> lines;
  for (const Device& d : devices_) {
    const bool ok = d.code == kExitDone;
    QJsonObject entry{{"device_number", d.number}, {"ok", ok}, {"garbled", d.garbled}};
    const std::string text = DeviceText(d, entry);
    if (!d.file.empty()) entry["file"] = Q(d.file);
    if (!ok && !d.error.empty()) entry["error"] = Q(d.error);
    list.append(entry);
    lines.push_back("device " + Number3(d.number) + "  " + (ok ? "ok      " : "FAILED  ") + text);
    if (d.garbled) {
      code = Worse(code, kExitDuplicate);
    } else if (!ok && !scan) {
      code = Worse(code, d.code == kExitDifference ? kExitDifference : kExitNoAnswer);
    }
  }
  for (const std::string& file : orphan_files_) {
    lines.push_back("            FAILED  " + file + ": its processor did not answer");
    list.append(QJsonObject{{"file", Q(file)}, {"ok", false}, {"error", "did not answer"}});
    code = Worse(code, kExitNoAnswer);
  }
  // The scan against the wire's own floor: every poll, and the answers that came.
  const int asked = options_.last - options_.first + 1;
  const auto answered = static_cast<int>(devices_.size());
  const double floor_ms = (12.0 * asked + 20.0 * answered) * kMsPerByte;
  char timing[160];
  std::snprintf(timing, sizeof timing,
                "scanned %d device numbers in %.1f s (%d ms each at most; the line itself "
                "needs %.1f s)",
                asked, scan_ms_ / 1000.0, ScanWaitMs(options_.reply_ms), floor_ms / 1000.0);
  if (devices_.empty()) {
    lines.push_back("no processor answered");
    code = kExitNoAnswer;
  }
  if (interrupt_code_ != 0) code = interrupt_code_;
  QJsonObject result{{"command", Q(options_.command)},
                     {"devices", list},
                     {"scan_ms", static_cast<double>(scan_ms_)},
                     {"wire_floor_ms", std::round(floor_ms * 10) / 10},
                     {"ok", code == kExitDone},
                     {"exit_code", code}};
  if (options_.json) {
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Indented).constData(), out_);
  } else {
    for (const std::string& line : lines) std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fprintf(err_, "%s\n", timing);
  std::fflush(out_);
  environment_.Timers().Defer(0, [finished = finished_, code] { finished(code); });
}

void LineSession::Fail(int code, const std::string& text) {
  std::fprintf(err_, "veltrane-ctl: %s\n", text.c_str());
  if (options_.json) {
    const QJsonObject result{
        {"command", Q(options_.command)}, {"ok", false}, {"exit_code", code}, {"error", Q(text)}};
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Indented).constData(), out_);
  }
  environment_.Timers().Defer(0, [finished = finished_, code] { finished(code); });
}

}  // namespace veltrane
