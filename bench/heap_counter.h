#pragma once

// Heap accounting for a benchmark's memory figures: the process's operator new and delete
// pass here. Include it in exactly one file of a benchmark program (it replaces the global
// allocation functions).

#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace heap {
std::size_t current = 0;  // NOLINT: the allocation hooks below need process-wide counters
std::size_t peak = 0;     // NOLINT

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  current += malloc_usable_size(p);
  peak = std::max(peak, current);
  return p;
}
void Release(void* p) {
  if (p == nullptr) return;
  current -= malloc_usable_size(p);
  std::free(p);
}
// Peak heap above the level at the start of a measurement.
struct Scope {
  std::size_t base = current;
  Scope() { peak = current; }
  [[nodiscard]] std::size_t Peak() const { return peak - base; }
};
}  // namespace heap

void* operator new(std::size_t size) { return heap::Allocate(size); }
void* operator new[](std::size_t size) { return heap::Allocate(size); }
void operator delete(void* p) noexcept { heap::Release(p); }
void operator delete[](void* p) noexcept { heap::Release(p); }
void operator delete(void* p, std::size_t) noexcept { heap::Release(p); }
void operator delete[](void* p, std::size_t) noexcept { heap::Release(p); }
