// Heap accounting for the memory figures: zu_bench_memory replaces malloc
// and friends with thin forwarders to the C library's allocator that count,
// while a window is open, the bytes held (usable size plus chunk header).
// Everything that allocates is seen: operator new, expat and libxml2 alike.
#pragma once

#include <cstddef>

namespace zubench {

// Counts from zero while it lives; one window at a time, on one thread.
class HeapWindow {
 public:
  HeapWindow();
  ~HeapWindow();
  HeapWindow(const HeapWindow&) = delete;
  HeapWindow& operator=(const HeapWindow&) = delete;

  // Returns the bytes allocated in the window and not yet freed; blocks freed
  // here that were allocated before the window count negative.
  long long held() const;
  // Returns the highest value held() has reached.
  long long peak() const;
};

}  // namespace zubench
