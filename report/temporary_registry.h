// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>

namespace orvel {

// The temporary files alive now, readable from a signal handler (or the
// thread Windows runs a console handler on): a slot is claimed (Free ->
// Filling), gets its path, and only then becomes Held, so removeAll() only
// ever sees whole paths. Lock-free; a path too long or a full table is simply
// not registered.
template <typename Char, std::size_t PathMax, std::size_t Slots = 64>
class TemporaryRegistry {
public:
    static_assert(std::atomic<int>::is_always_lock_free, "the registry is read from a signal handler");

    // The slot holding path, or -1.
    int add(std::basic_string_view<Char> path) noexcept
    {
        if (path.size() >= PathMax) {
            return -1;
        }
        for (std::size_t i = 0; i < Slots; ++i) {
            int expected = kFree;
            if (m_slots[i].state.compare_exchange_strong(expected, kFilling)) {
                path.copy(m_slots[i].path, path.size());
                m_slots[i].path[path.size()] = Char{};
                m_slots[i].state.store(kHeld);
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    void release(int& slot) noexcept
    {
        if (slot >= 0) {
            m_slots[slot].state.store(kFree);
            slot = -1;
        }
    }

    // Calls remove(path) for every path held; remove must be async-signal-safe.
    template <typename Remove>
    void removeAll(Remove remove) noexcept
    {
        for (Slot& slot : m_slots) {
            if (slot.state.load() == kHeld) {
                remove(slot.path);
            }
        }
    }

private:
    enum SlotState : int { kFree = 0, kFilling = 1, kHeld = 2 };
    struct Slot {
        std::atomic<int> state{kFree};
        Char path[PathMax];
    };
    Slot m_slots[Slots];
};

} // namespace orvel
