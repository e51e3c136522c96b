// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace orvel {

// An allocator whose resize leaves new elements default-initialised: for
// buffers that are written in full before they are read, so their pages are
// touched once, by the writer, instead of first by a zero-fill.
template <typename T>
class DefaultInitAllocator : public std::allocator<T> {
public:
    using std::allocator<T>::allocator;
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
        std::allocator_traits<std::allocator<T>>::construct(static_cast<std::allocator<T>&>(*this), at,
                                                            std::forward<Args>(args)...);
    }
};

template <typename T>
using UninitializedVector = std::vector<T, DefaultInitAllocator<T>>;

} // namespace orvel
