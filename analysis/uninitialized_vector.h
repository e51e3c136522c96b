// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/large_buffer.h"

namespace orvel {

// An allocator whose resize leaves new elements default-initialised: for
// buffers that are written in full before they are read, so their pages are
// touched once, by the writer, instead of first by a zero-fill (and large ones
// on whole 2 MB pages).
template <typename T>
class DefaultInitAllocator : public LargeBufferAllocator<T> {
public:
    using LargeBufferAllocator<T>::LargeBufferAllocator;
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };

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
};

template <typename T>
using UninitializedVector = std::vector<T, DefaultInitAllocator<T>>;

} // namespace orvel
