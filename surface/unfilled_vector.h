// A vector whose resize leaves new elements of trivial types unwritten, for working arrays that
// are overwritten entry by entry right after they are sized.
//
// A plain vector writes zeros over the whole array first; on a large array that doubles the
// memory traffic and, worse, takes every page fault on the thread that sizes the array. Sized
// this way, the pages are first touched by whichever threads fill them, in parallel.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

template <typename T> struct UnfilledAllocator : std::allocator<T> {
    template <typename U> struct rebind {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <typename U> UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}

    // Value construction without arguments is default construction: nothing written for
    // trivial types.
    template <typename U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args> void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

template <typename T> using UnfilledVector = std::vector<T, UnfilledAllocator<T>>;
