// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/process.h"

namespace orvel {

// Gives buffers of 1 MB or more whole 2 MB pages (see allocateLargeBuffer):
// written once from start to end, they then cost one page fault per 2 MB
// instead of one per 4 KB. Smaller ones come from the heap as usual. Values
// made without an initial value are left default-initialised (a resize
// writes nothing), so a buffer's pages are first touched by its writer.
template <typename T>
struct LargeBufferAllocator {
    using value_type = T;
    static constexpr std::size_t kLarge = std::size_t{1} << 20;

    LargeBufferAllocator() = default;
    template <typename U>
    explicit LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept
    {
    }

    [[nodiscard]] T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = n * sizeof(T);
        return static_cast<T*>(bytes >= kLarge ? allocateLargeBuffer(bytes) : ::operator new(bytes));
    }

    void deallocate(T* data, std::size_t n) noexcept
    {
        if (n * sizeof(T) >= kLarge) {
            releaseLargeBuffer(data, n * sizeof(T));
        } else {
            ::operator delete(data);
        }
    }

    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargeBufferAllocator&, const LargeBufferAllocator&) noexcept { return true; }
};

} // namespace orvel
