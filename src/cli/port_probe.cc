#include "cli/port_probe.h"

#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "link/hid_history.h"

namespace veltrane {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const char* AnswerName(PortAnswer answer) {
  switch (answer) {
    case PortAnswer::kAnswers:
      return "answers";
    case PortAnswer::kGarbled:
      return "garbled";
    case PortAnswer::kSilent:
      return "no answer";
    case PortAnswer::kCannotOpen:
      return "cannot open";
  }
  return "";
}

}  // namespace

void ListProcessorHid(HidBackend& backend, std::vector<std::string>& lines, QJsonArray& json) {
  for (const HidDeviceInfo& device : backend.Enumerate()) {
    if (device.vendor_id != kProcessorVendorId || device.product_id != kProcessorProductId) {
      continue;
    }
    json.append(QJsonObject{
        {"path", Q(device.path)}, {"product", Q(device.product)}, {"serial", Q(device.serial)}});
    lines.push_back("hid " + device.path + " " + device.product +
                    (device.serial.empty() ? "" : " (serial " + device.serial + ")"));
  }
}

PortProbe::PortProbe(CtlOptions options, CtlEnvironment& environment, std::FILE* out,
                     std::FILE* err)
    : options_(std::move(options)),
      environment_(environment),
      out_(out),
      err_(isatty(fileno(err)) != 0 && !options_.json ? err : nullptr) {}

PortProbe::~PortProbe() { *alive_ = false; }

void PortProbe::Start(std::function<void(int)> finished) {
  finished_ = std::move(finished);
  std::vector<std::string> paths = environment_.SerialPorts();
  // A port the system does not list (a pseudo-terminal, a link to one) is asked when named.
  if (!options_.port.empty() &&
      std::find(paths.begin(), paths.end(), options_.port) == paths.end()) {
    paths.push_back(options_.port);
  }
  for (std::string& path : paths) {
    Probed probed;
    probed.path = std::move(path);
    ports_.push_back(std::move(probed));
  }
  port_ = &environment_.Serial([this](std::span<const std::uint8_t> bytes) {
    if (scanner_) scanner_->OnBytes(bytes);
  });
  scanner_ = std::make_unique<LineScanner>(environment_.Timers(), *port_);
  environment_.Timers().Defer(0, [this, alive = std::weak_ptr<bool>(alive_)] {
    if (!alive.expired()) Next();
  });
}

// One port at a time, each with one poll to the chosen number.
void PortProbe::Next() {
  if (next_ >= ports_.size()) {
    Report();
    return;
  }
  Probed& probed = ports_[next_];
  if (err_ != nullptr) {
    std::fprintf(err_, "\r\033[Kasking %s", probed.path.c_str());
    std::fflush(err_);
  }
  const auto done = [this](std::vector<LineScanEntry> found) {
    Probed& p = ports_[next_];
    p.answer = found.empty()           ? PortAnswer::kSilent
               : found.front().garbled ? PortAnswer::kGarbled
                                       : PortAnswer::kAnswers;
    ++next_;
    // The scanner is still closing the port: the next one starts from the event loop.
    environment_.Timers().Defer(0, [this, alive = std::weak_ptr<bool>(alive_)] {
      if (!alive.expired()) Next();
    });
  };
  if (!scanner_->Start(probed.path, options_.device, options_.device, options_.reply_ms, nullptr,
                       done)) {
    probed.answer = PortAnswer::kCannotOpen;
    probed.reason = port_->OpenFailureReason();
    ++next_;
    Next();
  }
}

void PortProbe::Report() {
  if (err_ != nullptr) std::fputs("\r\033[K", err_);
  std::vector<std::string> lines;
  QJsonArray serial;
  const std::string device = std::to_string(options_.device);
  for (const Probed& p : ports_) {
    std::string text;
    switch (p.answer) {
      case PortAnswer::kAnswers:
        text = "processor " + device + " answers";
        break;
      case PortAnswer::kGarbled:
        text = "garbled answer from " + device + " (two processors with that number?)";
        break;
      case PortAnswer::kSilent:
        text = "no answer from " + device;
        break;
      case PortAnswer::kCannotOpen:
        text = "cannot open" + (p.reason.empty() ? std::string() : ": " + p.reason);
        break;
    }
    lines.push_back("serial " + p.path + "  " + text);
    QJsonObject entry{{"path", Q(p.path)},
                      {"answers", p.answer == PortAnswer::kAnswers},
                      {"probe", AnswerName(p.answer)}};
    if (!p.reason.empty()) entry["error"] = Q(p.reason);
    serial.append(entry);
  }
  QJsonArray hid;
  ListProcessorHid(*environment_.CreateHidBackend(), lines, hid);
  if (lines.empty()) lines.push_back("no serial ports and no processor on USB");
  const QJsonObject result{{"command", "ports"},
                           {"probed_device", options_.device},
                           {"serial_ports", serial},
                           {"hid_devices", hid},
                           {"ok", true},
                           {"exit_code", kExitDone}};
  if (options_.json) {
    std::fputs(QJsonDocument(result).toJson(QJsonDocument::Indented).constData(), out_);
  } else if (!options_.quiet) {
    for (const std::string& line : lines) std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
  environment_.Timers().Defer(0, [finished = finished_] { finished(kExitDone); });
}

}  // namespace veltrane
