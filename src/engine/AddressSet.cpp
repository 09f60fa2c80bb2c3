#include "engine/AddressSet.h"

#include <cstdlib>

AddressSet::~AddressSet() {
    std::free(m_slots);
}

bool AddressSet::grow() {
    const std::size_t slots = m_slots ? (m_mask + 1) * 2 : 16;
    auto* grown = static_cast<std::uintptr_t*>(std::calloc(slots, sizeof(std::uintptr_t)));
    if (!grown)
        return false;
    std::uintptr_t* old = m_slots;
    const std::size_t oldSlots = old ? m_mask + 1 : 0;
    m_slots = grown;
    m_mask = slots - 1;
    m_shift = 64;
    for (std::size_t n = slots; n > 1; n >>= 1)
        --m_shift;
    for (std::size_t slot = 0; slot < oldSlots; ++slot) {
        if (old[slot] == 0)
            continue;
        std::size_t to = home(old[slot]);
        while (m_slots[to] != 0)
            to = (to + 1) & m_mask;
        m_slots[to] = old[slot];
    }
    std::free(old);
    return true;
}

bool AddressSet::insert(std::uintptr_t address) {
    // At most half full: probes stay short.
    if ((m_count + 1) * 2 > (m_slots ? m_mask + 1 : 0) && !grow())
        return false;
    std::size_t slot = home(address);
    while (m_slots[slot] != 0) {
        if (m_slots[slot] == address)
            return true;
        slot = (slot + 1) & m_mask;
    }
    m_slots[slot] = address;
    ++m_count;
    return true;
}

bool AddressSet::erase(std::uintptr_t address) {
    if (m_count == 0)
        return false;
    std::size_t hole = home(address);
    while (m_slots[hole] != address) {
        if (m_slots[hole] == 0)
            return false;
        hole = (hole + 1) & m_mask;
    }
    // Backward shift: every later entry of the run that may move into the hole does, so that
    // no lookup stops at an empty slot before its entry.
    for (std::size_t next = (hole + 1) & m_mask; m_slots[next] != 0; next = (next + 1) & m_mask) {
        const std::size_t wanted = home(m_slots[next]);
        // `next` may fill the hole unless its home lies cyclically in (hole, next].
        const bool homeAfterHole =
            hole <= next ? (wanted > hole && wanted <= next) : (wanted > hole || wanted <= next);
        if (!homeAfterHole) {
            m_slots[hole] = m_slots[next];
            hole = next;
        }
    }
    m_slots[hole] = 0;
    --m_count;
    return true;
}

void AddressSet::clear() {
    for (std::size_t slot = 0; m_slots && slot <= m_mask; ++slot)
        m_slots[slot] = 0;
    m_count = 0;
}
