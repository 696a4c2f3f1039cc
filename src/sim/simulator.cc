#include "sim/simulator.h"

#include <algorithm>
#include <cmath>

namespace veltrane {
namespace {

constexpr std::size_t kHeaderLength = 10;

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

}  // namespace

std::vector<SimHidReport> SplitIntoHidReports(std::span<const std::uint8_t> frame) {
  std::vector<SimHidReport> reports;
  SimHidReport header{};
  const std::size_t header_length = std::min(kHeaderLength, frame.size());
  std::copy_n(frame.begin(), header_length, header.begin());
  reports.push_back(header);
  for (std::size_t offset = header_length; offset < frame.size(); offset += kHidDataSize) {
    SimHidReport report{};
    const std::size_t n = std::min(kHidDataSize, frame.size() - offset);
    std::copy_n(frame.begin() + offset, n, report.begin());
    reports.push_back(report);
  }
  return reports;
}

Simulator::Simulator(TimerHost& host, SimOptions options)
    : host_(host),
      options_(std::move(options)),
      serial_reader_(kEditorFrames, [this](const Frame& f) { OnFrame(f.bytes, Link::kSerial); }),
      hid_reader_([this](std::span<const std::uint8_t> f) { OnFrame(f, Link::kHid); }),
      noise_random_(options_.noise_seed),
      alive_(std::make_shared<bool>(true)) {
  if (options_.demo_content) state_.LoadDemoContent(options_.device_number - 1);
  state_.set_password(options_.password);
  state_.SetLocked(options_.locked_at_start);
  SimDeviceSettings settings = state_.settings();
  if (options_.device_number != 0) settings.device_number = options_.device_number;
  state_.set_settings(settings);
}

Simulator::~Simulator() = default;

void Simulator::OnSerialBytes(std::span<const std::uint8_t> bytes) {
  serial_reader_.Feed(bytes, host_.NowMs());
}

void Simulator::OnHidReport(const HidReport& report) {
  hid_reader_.Feed(std::span(report).subspan<1, kHidDataSize>(), host_.NowMs());
}

bool Simulator::LinkDropped() const {
  return options_.drop_after_frames && frames_received_ >= *options_.drop_after_frames;
}

void Simulator::OnFrame(std::span<const std::uint8_t> frame, Link link) {
  if (LinkDropped()) {
    ++dropped_frames_;
    return;
  }
  // On a shared line every processor sees every frame; only its own address concerns it.
  if (frame[3] != static_cast<std::uint8_t>(state_.settings().device_number - 1)) {
    ++frames_for_others_;
    return;
  }
  const std::int64_t now = host_.NowMs();
  ++frames_received_;
  // A quiet link means the editor gave up; its next image request opens a new connection.
  if (last_frame_ms_ && now - *last_frame_ms_ > kIdentityRearmMs) identity_given_ = false;
  last_frame_ms_ = now;

  const SimFrameKind kind = ClassifySimFrame(frame);
  ++counts_[static_cast<int>(kind)];
  if (options_.keep_log) {
    received_.push_back({now, Bytes(frame.begin(), frame.end()), kind, link == Link::kHid});
  }
  if (trace_) trace_(true, frame);

  const std::uint8_t bank = frame[5];
  const std::uint8_t object_code = frame[6];
  std::vector<Bytes> replies;
  if (kind == SimFrameKind::kImageRequest && bank == 0 && options_.identity_first &&
      !identity_given_) {
    identity_given_ = true;
    replies.push_back(state_.IdentityReply());
  } else {
    state_.set_long_poll_answer(options_.poll_answer_long);
    state_.set_refuse_lock(options_.refuse_lock);
    state_.set_keep_device_number(options_.keep_device_number);
    replies = state_.Handle(frame);
  }
  if (kind == SimFrameKind::kLongWrite && object_code == kObjPresetImage &&
      options_.corrupt_slot != 0 && bank == options_.corrupt_slot) {
    SimImage image = state_.preset(bank).image;
    image[100] ^= 0x01;
    state_.SetPreset(bank, image, state_.preset(bank).name);
  }
  if (options_.ignore_objects.count(object_code) != 0) return;
  for (const Bytes& reply : replies) Transmit(reply, link);
}

void Simulator::SendRefreshReport() {
  if (LinkDropped()) return;
  const Bytes report = state_.RefreshReport();
  if (serial_sink_) Transmit(report, Link::kSerial);
  if (hid_sink_) Transmit(report, Link::kHid);
}

void Simulator::Transmit(const Bytes& frame, Link link) {
  if (options_.silent) return;
  if (trace_) trace_(false, frame);
  if (link == Link::kSerial) {
    TransmitSerial(frame);
  } else {
    TransmitHid(frame);
  }
}

Bytes Simulator::MakeNoise() {
  if (!options_.noise.empty()) return options_.noise;
  Bytes noise(static_cast<std::size_t>(std::max(options_.random_noise, 0)));
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>(byte(noise_random_));
  return noise;
}

std::vector<Bytes> Simulator::Split(const Bytes& bytes) const {
  std::vector<std::size_t> sizes = options_.split_chunks;
  std::erase(sizes, 0);
  if (sizes.empty() && options_.pacing_9600) sizes = {kPacedChunkBytes};
  if (sizes.empty()) return {bytes};
  std::vector<Bytes> chunks;
  std::size_t next = 0;
  for (std::size_t offset = 0; offset < bytes.size();) {
    const std::size_t n = std::min(sizes[next], bytes.size() - offset);
    chunks.emplace_back(bytes.begin() + offset, bytes.begin() + offset + n);
    offset += n;
    next = (next + 1) % sizes.size();
  }
  return chunks;
}

void Simulator::TransmitSerial(const Bytes& frame) {
  Bytes noise = MakeNoise();
  Bytes payload = frame;
  if (options_.merge_with_next) {
    if (!held_) {
      held_ = Concat(noise, frame);
      return;
    }
    payload = Concat(*held_, Concat(noise, frame));
    held_.reset();
    noise.clear();
  }
  std::vector<Bytes> chunks;
  if (!noise.empty()) chunks.push_back(std::move(noise));
  for (Bytes& chunk : Split(payload)) chunks.push_back(std::move(chunk));
  DeliverSerial(std::move(chunks));
}

void Simulator::DeliverSerial(std::vector<Bytes> chunks) {
  const int late = std::max(options_.late_ms, 0);
  if (!options_.pacing_9600 && late == 0) {
    for (const Bytes& chunk : chunks) {
      if (serial_sink_) serial_sink_(chunk);
    }
    return;
  }
  const std::int64_t now = host_.NowMs();
  const std::int64_t start_us = (now + late) * 1000;
  for (Bytes& chunk : chunks) {
    std::int64_t due = now + late;
    if (options_.pacing_9600) {
      // One byte after another on the line; a chunk arrives with its last byte.
      const std::int64_t begin_us = std::max(start_us, line_free_at_us_);
      line_free_at_us_ =
          begin_us + std::llround(static_cast<double>(chunk.size()) * kSerialMsPerByte * 1000);
      due = (line_free_at_us_ + 999) / 1000;
    }
    host_.Defer(static_cast<int>(due - now),
                [this, alive = std::weak_ptr<bool>(alive_), chunk = std::move(chunk)] {
                  if (!alive.expired() && serial_sink_) serial_sink_(chunk);
                });
  }
}

void Simulator::TransmitHid(const Bytes& frame) {
  std::vector<SimHidReport> reports;
  const Bytes noise = MakeNoise();
  if (!noise.empty()) {
    SimHidReport report{};
    std::copy_n(noise.begin(), std::min(noise.size(), kHidDataSize), report.begin());
    reports.push_back(report);
  }
  for (const SimHidReport& report : SplitIntoHidReports(frame)) reports.push_back(report);

  auto deliver = [this, alive = std::weak_ptr<bool>(alive_), reports = std::move(reports)] {
    if (alive.expired()) return;
    for (const SimHidReport& report : reports) {
      if (hid_sink_) hid_sink_(report);
    }
  };
  const int late = std::max(options_.late_ms, 0);
  if (late == 0) {
    deliver();
  } else {
    host_.Defer(late, std::move(deliver));
  }
}

}  // namespace veltrane
