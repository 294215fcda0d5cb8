// The wait-semantics table against the real Windows kernel.
#include <cstdio>

#include "wait_semantics_cases.h"

int main() {
  int passed = 0, failed = 0;
  for (const auto& c : waitcases::Cases()) {
    const std::string error = waitcases::Run(c);
    if (error.empty()) {
      ++passed;
    } else {
      ++failed;
      std::printf("FAILED: %s: %s\n", c.name, error.c_str());
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
