#pragma once
// Row-parallel loops for the processor-heavy generators: the caller and one persistent
// helper thread take chunks of [0, count) from a shared counter until none are left, so the
// work stays balanced when the other core is busy with something else.
//
//   parallelFor(height, 8, [&](int first, int last) { for (int i = first; i < last; ++i) row(i); });
//
// Nothing is allocated and no thread is created per call: the helper starts on the first
// call and waits between calls. The body runs concurrently on disjoint ranges, must not
// report fatal errors (the process would end on the helper thread) and must not call
// parallelFor itself; a nested or concurrent call runs its whole range on the caller.
// With a single processor everything runs on the caller.

#include <type_traits>

using ParallelBody = void (*)(void* context, int first, int last);

void parallelFor(int count, int chunk, ParallelBody body, void* context);

template <class Body>
void parallelFor(int count, int chunk, Body&& body) {
  using Callable = std::remove_reference_t<Body>;
  parallelFor(
      count, chunk,
      [](void* context, int first, int last) { (*static_cast<Callable*>(context))(first, last); },
      const_cast<void*>(static_cast<const void*>(&body)));
}
