#include <atomic>
#include <mutex>

#include "testing.h"

namespace dlposix {
namespace {

struct Arm {
  bool armed = false;
  long match = kAnyValue;
  int skip = 0;
};

std::atomic<bool> g_anyArmed{false};
std::mutex g_faultMutex;
Arm g_arms[static_cast<int>(Fault::kCount)];

}  // namespace

void ArmFault(Fault fault, long match, int skip) {
  std::lock_guard<std::mutex> lock(g_faultMutex);
  g_arms[static_cast<int>(fault)] = Arm{true, match, skip};
  g_anyArmed.store(true, std::memory_order_release);
}

void DisarmFaults() {
  std::lock_guard<std::mutex> lock(g_faultMutex);
  for (Arm& arm : g_arms) arm = Arm{};
  g_anyArmed.store(false, std::memory_order_release);
}

bool TakeFault(Fault fault, long value) {
  if (!g_anyArmed.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(g_faultMutex);
  Arm& arm = g_arms[static_cast<int>(fault)];
  if (!arm.armed || (arm.match != kAnyValue && arm.match != value)) return false;
  if (arm.skip > 0) {
    --arm.skip;
    return false;
  }
  arm.armed = false;
  return true;
}

}  // namespace dlposix
