#pragma once
// A set of addresses for the tidy document heap: the slabs and large blocks it owns, so that it
// tells its own blocks from the C library's by address alone. Open addressing with linear
// probing, in memory of its own from the C library; an insert that cannot have memory says so
// rather than throw (the heap is called from C code).

#include <cstddef>
#include <cstdint>

class AddressSet {
public:
    AddressSet() = default;
    ~AddressSet();
    AddressSet(const AddressSet&) = delete;
    AddressSet& operator=(const AddressSet&) = delete;

    // `address` is never 0.
    bool contains(std::uintptr_t address) const {
        if (m_count == 0)
            return false;
        for (std::size_t slot = home(address);; slot = (slot + 1) & m_mask) {
            if (m_slots[slot] == address)
                return true;
            if (m_slots[slot] == 0)
                return false;
        }
    }
    // False when the table could not grow (the set is unchanged).
    bool insert(std::uintptr_t address);
    // False when `address` was not in the set.
    bool erase(std::uintptr_t address);
    void clear();
    std::size_t size() const { return m_count; }

    // Calls `visit` with every address (none may be inserted or erased meanwhile).
    template <typename Visit> void forEach(Visit&& visit) const {
        for (std::size_t slot = 0; m_slots && slot <= m_mask; ++slot)
            if (m_slots[slot] != 0)
                visit(m_slots[slot]);
    }

private:
    std::size_t home(std::uintptr_t address) const {
        // Fibonacci hashing: slab addresses share their low bits, the product's high bits don't.
        return std::size_t((std::uint64_t(address) * 0x9e3779b97f4a7c15ull) >> m_shift);
    }
    bool grow();

    std::uintptr_t* m_slots = nullptr; // 0: an empty slot
    std::size_t m_mask = 0;            // slots - 1
    unsigned m_shift = 64;             // 64 - log2(slots)
    std::size_t m_count = 0;
};
