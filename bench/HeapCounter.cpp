#include "HeapCounter.h"

#include <errno.h>
#include <malloc.h>

#include <atomic>
#include <cstddef>

// glibc's own allocator, which the replacements below forward to.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long long> gHeld{0};
std::atomic<long long> gPeak{0};

long long Footprint(void* block) { return static_cast<long long>(malloc_usable_size(block) + sizeof(std::size_t)); }

void Gained(void* block) {
  const long long bytes = Footprint(block);
  const long long held = gHeld.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  long long peak = gPeak.load(std::memory_order_relaxed);
  while (held > peak && !gPeak.compare_exchange_weak(peak, held, std::memory_order_relaxed)) {
  }
}

void Lost(long long bytes) { gHeld.fetch_sub(bytes, std::memory_order_relaxed); }

bool Counting() { return __builtin_expect(gCounting.load(std::memory_order_relaxed), false); }

}  // namespace

// The executable's definitions take precedence over the C library's for every
// shared library of the process; they must stay visible despite -fvisibility=hidden.
#define ZU_BENCH_EXPORT extern "C" __attribute__((visibility("default")))

ZU_BENCH_EXPORT void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  if (Counting() && block != nullptr) Gained(block);
  return block;
}

ZU_BENCH_EXPORT void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  if (Counting() && block != nullptr) Gained(block);
  return block;
}

ZU_BENCH_EXPORT void* realloc(void* block, std::size_t size) {
  if (!Counting()) return __libc_realloc(block, size);
  const long long before = block != nullptr ? Footprint(block) : 0;
  void* moved = __libc_realloc(block, size);
  if (moved != nullptr) {
    Lost(before);
    Gained(moved);
  } else if (size == 0) {
    Lost(before);  // realloc(p, 0) frees p
  }
  return moved;
}

ZU_BENCH_EXPORT void free(void* block) {
  if (Counting() && block != nullptr) Lost(Footprint(block));
  __libc_free(block);
}

ZU_BENCH_EXPORT void* memalign(std::size_t alignment, std::size_t size) {
  void* block = __libc_memalign(alignment, size);
  if (Counting() && block != nullptr) Gained(block);
  return block;
}

ZU_BENCH_EXPORT void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

ZU_BENCH_EXPORT int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* block = memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}

namespace zubench {

HeapWindow::HeapWindow() {
  gHeld.store(0, std::memory_order_relaxed);
  gPeak.store(0, std::memory_order_relaxed);
  gCounting.store(true, std::memory_order_seq_cst);
}

HeapWindow::~HeapWindow() { gCounting.store(false, std::memory_order_seq_cst); }

long long HeapWindow::held() const { return gHeld.load(std::memory_order_relaxed); }

long long HeapWindow::peak() const { return gPeak.load(std::memory_order_relaxed); }

}  // namespace zubench
