#include "protocol/virtual_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace veltrane {
namespace {

TEST(VirtualClock, TimerSemantics) {
  VirtualClock clock;
  std::vector<std::int64_t> ticks;
  auto timer = clock.CreateTimer("t", 100, [&] { ticks.push_back(clock.NowMs()); });
  EXPECT_FALSE(timer->Running());  // created disabled
  clock.Advance(500);
  EXPECT_TRUE(ticks.empty());
  timer->Start();
  clock.Advance(50);
  timer->Start();  // running: the count is not restarted
  clock.Advance(260);
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{600, 700, 800}));
  timer->Stop();
  clock.Advance(1000);
  EXPECT_EQ(ticks.size(), 3u);
  timer->Start();  // a stopped timer counts afresh
  clock.Advance(100);
  EXPECT_EQ(ticks.back(), 1910);
}

TEST(VirtualClock, SameTimeEventsRunInOrderAndAStoppedTickIsVoid) {
  VirtualClock clock;
  std::vector<std::string> order;
  std::unique_ptr<Timer> b;
  auto a = clock.CreateTimer("a", 100, [&] {
    order.push_back("a");
    b->Stop();  // b is due at the same moment but must not fire
  });
  b = clock.CreateTimer("b", 100, [&] { order.push_back("b"); });
  a->Start();
  b->Start();
  clock.Defer(100, [&] { order.push_back("deferred"); });
  clock.Advance(100);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "deferred"}));
  EXPECT_EQ(clock.RunningTimers(), "a ");
}

TEST(VirtualClock, DestroyedTimerNeverFires) {
  VirtualClock clock;
  int fired = 0;
  auto timer = clock.CreateTimer("t", 10, [&] { ++fired; });
  timer->Start();
  timer.reset();
  clock.Advance(100);
  EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace veltrane
