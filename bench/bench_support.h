#pragma once

// What the benchmark programs share: a count of every allocation the process makes (so a
// benchmark can show what a hot path allocates) and a serial port that goes nowhere.
// Include it from exactly one file of a benchmark program: it replaces the global
// operator new and delete.

#include <atomic>
#include <cstdlib>
#include <new>
#include <span>
#include <string>

#include "protocol/link.h"

inline std::atomic<long> g_allocations{0};

// GCC cannot see that these two replace the global pair together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace veltrane {

// Always opens, counts its writes and sends them nowhere.
class NullSerial : public SerialPort {
 public:
  bool Open(const std::string&) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  void Write(std::span<const std::uint8_t>) override { ++writes; }
  int writes = 0;

 private:
  bool open_ = false;
};

}  // namespace veltrane
