#include "engine/TidyDocumentHeap.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Block {
    unsigned char* at;
    std::size_t size;
    unsigned char fill;
};

void Fill(Block& block) {
    std::memset(block.at, block.fill, block.size);
}

bool Intact(const Block& block) {
    for (std::size_t i = 0; i < block.size; ++i)
        if (block.at[i] != block.fill)
            return false;
    return true;
}

// Blocks of every class and beyond, grown, shrunk and freed in a shuffled order, as the library
// does with nodes, names and its lexer buffer: no block may overlap another, none may lose its
// bytes when it moves, and a freed block is reused by its class.
TEST(TidyDocumentHeap, BlocksKeepTheirBytesThroughAllocationGrowthAndReuse) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 3; ++round) {
        TidyDocumentHeap heap;
        std::vector<Block> live;
        for (int step = 0; step < 20000; ++step) {
            const unsigned action = random() % 10;
            if (action < 5 || live.empty()) {
                const std::size_t size =
                    random() % 8 == 0 ? 1000 + random() % 20000 : random() % 1020;
                Block block{static_cast<unsigned char*>(heap.allocate(size)), size,
                            static_cast<unsigned char>(step)};
                ASSERT_NE(block.at, nullptr);
                ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block.at) % 8, 0u);
                Fill(block);
                live.push_back(block);
            } else if (action < 7) {
                Block& block = live[random() % live.size()];
                const std::size_t size = random() % 2
                                             ? std::min<std::size_t>(block.size * 2 + 1, 100000)
                                             : block.size / 2;
                block.at = static_cast<unsigned char*>(heap.reallocate(block.at, size));
                ASSERT_TRUE(Intact({block.at, std::min(size, block.size), block.fill}));
                block.size = size;
                Fill(block);
            } else {
                const std::size_t at = random() % live.size();
                ASSERT_TRUE(Intact(live[at])) << step;
                heap.release(live[at].at);
                live[at] = live.back();
                live.pop_back();
            }
        }
        for (const Block& block : live)
            ASSERT_TRUE(Intact(block));
    }
}

TEST(TidyDocumentHeap, SmallBlocksGrowInPlaceWithinTheirClassAndAreReused) {
    TidyDocumentHeap heap;
    void* block = heap.allocate(20);
    const std::size_t capacity = heap.smallCapacity(block);
    EXPECT_GE(capacity, 20u);
    EXPECT_LT(capacity, 20u + 16u);
    EXPECT_EQ(heap.reallocate(block, capacity), block);
    heap.release(block);
    EXPECT_EQ(heap.allocate(capacity), block) << "a freed block serves the next of its class";
    EXPECT_EQ(heap.smallCapacity(heap.allocate(5000)), 0u) << "large blocks";
}

// The library hands back only what it took from the document's allocator, but a block of the
// C library's (a buffer set up with the default allocator) must not be taken for one of ours.
TEST(TidyDocumentHeap, BlocksOfTheCLibraryArePassedBackToIt) {
    TidyDocumentHeap heap;
    for (std::size_t size : {1u, 24u, 200u, 5000u, 300000u}) {
        auto* foreign = static_cast<char*>(std::malloc(size));
        ASSERT_NE(foreign, nullptr);
        std::memset(foreign, 'x', size);
        EXPECT_EQ(heap.smallCapacity(foreign), 0u);
        foreign = static_cast<char*>(heap.reallocate(foreign, size * 2));
        EXPECT_EQ(foreign[size - 1], 'x');
        heap.release(foreign); // would corrupt a free list or crash if taken for ours
    }
}

// Whose block it is, the heap tells by address: it reads nothing before a block it did not hand
// out, so a block at the very start of a mapping (another allocator's, say, or one of the C
// library's placed there) costs no read of the page before it, and bytes there that happen to
// look like one of its headers do not make a block its own.
TEST(TidyDocumentHeap, BlocksItDidNotHandOutAreToldByAddressAlone) {
    TidyDocumentHeap heap;
    heap.release(heap.allocate(24)); // a slab exists
    const long page = ::sysconf(_SC_PAGESIZE);
    auto* mapped = static_cast<char*>(
        ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mapped, MAP_FAILED);
    ASSERT_EQ(::munmap(mapped, page), 0); // nothing is mapped just before `atPageStart`
    char* atPageStart = mapped + page;
    EXPECT_EQ(heap.smallCapacity(atPageStart), 0u);

    // Bytes that read as a header of ours (its tag, class 2) just before a foreign block.
    const std::uint64_t lookalike = (std::uint64_t(0x4b4c5648) << 32) | 2;
    std::memcpy(atPageStart, &lookalike, sizeof lookalike);
    EXPECT_EQ(heap.smallCapacity(atPageStart + sizeof lookalike), 0u);
    ::munmap(atPageStart, page);

    void* ours = heap.allocate(24);
    EXPECT_GE(heap.smallCapacity(ours), 24u);
    void* large = heap.allocate(5000);
    EXPECT_EQ(heap.smallCapacity(large), 0u);
    heap.release(large);
    heap.release(ours);
}

// A library that writes past a block's end overwrites the next block's header: the heap ends the
// process (a crash the pool reports for that page) rather than hand the same memory out twice.
TEST(TidyDocumentHeapDeathTest, AnOverwrittenHeaderEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TidyDocumentHeap heap;
            auto* first = static_cast<char*>(heap.allocate(24));
            auto* second = static_cast<char*>(heap.allocate(24));
            heap.release(second);
            std::memset(first, 'x', size_t(second - first)); // runs over second's header
            heap.allocate(24);
        },
        "");
}

} // namespace
