#include "link/qt_timer_host.h"

#include <QPointer>
#include <QTimer>

namespace veltrane {
namespace {

class QtTimer : public Timer {
 public:
  QtTimer(QObject* parent, std::string_view name, int interval_ms, std::function<void()> on_tick)
      : timer_(new QTimer(parent)) {
    timer_->setObjectName(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(interval_ms);
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(on_tick));
  }
  ~QtTimer() override { delete timer_.data(); }  // null when the host went first

  // Starting a running timer must not restart its count.
  void Start() override {
    if (timer_ && !timer_->isActive()) timer_->start();
  }
  void Stop() override {
    if (timer_) timer_->stop();
  }
  bool Running() const override { return timer_ && timer_->isActive(); }
  void SetInterval(int ms) override {
    if (timer_) timer_->setInterval(ms);
  }
  int Interval() const override { return timer_ ? timer_->interval() : 0; }

 private:
  QPointer<QTimer> timer_;
};

}  // namespace

QtTimerHost::QtTimerHost() { clock_.start(); }

QtTimerHost::~QtTimerHost() = default;

std::unique_ptr<Timer> QtTimerHost::CreateTimer(std::string_view name, int interval_ms,
                                                std::function<void()> on_tick) {
  return std::make_unique<QtTimer>(&context_, name, interval_ms, std::move(on_tick));
}

void QtTimerHost::Defer(int ms, std::function<void()> fn) {
  QTimer::singleShot(ms, Qt::PreciseTimer, &context_, std::move(fn));
}

}  // namespace veltrane
