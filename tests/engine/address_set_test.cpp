#include "engine/AddressSet.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

// Inserts and erases in a random order, against std::set: every address in is found, every
// one out is not, through growth and the backward shifts of erasing inside a probe run. Slab
// addresses (multiples of 256 KiB) and block addresses (multiples of 16) alike, few distinct
// ones so that runs collide.
TEST(AddressSet, AnswersAsASetThroughGrowthAndErasure) {
    for (const unsigned shift : {4u, 18u}) {
        SCOPED_TRACE(shift);
        std::mt19937_64 random(shift);
        AddressSet set;
        std::set<std::uintptr_t> oracle;
        for (int step = 0; step < 40000; ++step) {
            const std::uintptr_t address = (1 + random() % 3000) << shift;
            if (random() % 3 != 0) {
                ASSERT_TRUE(set.insert(address));
                oracle.insert(address);
            } else {
                ASSERT_EQ(set.erase(address), oracle.erase(address) == 1) << step;
            }
            if (step % 97 == 0) {
                ASSERT_EQ(set.size(), oracle.size());
                for (std::uintptr_t probe = 1; probe <= 3000; probe += 7)
                    ASSERT_EQ(set.contains(probe << shift), oracle.count(probe << shift) == 1)
                        << step << " " << probe;
            }
        }
        std::set<std::uintptr_t> visited;
        set.forEach([&](std::uintptr_t address) { visited.insert(address); });
        EXPECT_EQ(visited, oracle);
        set.clear();
        EXPECT_EQ(set.size(), 0u);
        EXPECT_FALSE(set.contains(*oracle.begin()));
    }
}
