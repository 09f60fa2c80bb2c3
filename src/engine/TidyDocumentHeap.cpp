#include "engine/TidyDocumentHeap.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <type_traits>

namespace {

// Each small block starts with an 8-byte header: its class in the low half, a tag in the high
// half. Whose block it is, the address says; the header says its class, and one that no longer
// holds the tag was overwritten by the library.
constexpr std::uint32_t kTag = 0x4b4c5648;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kGranule = 16;
constexpr std::size_t kMaxSmallBlock = 1024;
// Slabs lie on addresses that are multiples of their size: a block's slab is its address with
// the low bits cleared.
constexpr std::size_t kSlabSize = std::size_t(256) << 10;
constexpr std::uintptr_t kSlabMask = ~std::uintptr_t(kSlabSize - 1);
constexpr std::size_t kKeptSlabsAtMost = 32; // 8 MB between documents

std::atomic<void (*)()> g_exhausted{nullptr};

[[noreturn]] void Exhausted() {
    if (const auto handler = g_exhausted.load())
        handler();
    std::abort();
}

// Slabs between documents; a fixed table, so that keeping one never allocates.
std::mutex g_keptMutex;
void* g_kept[kKeptSlabsAtMost];
std::size_t g_keptCount = 0;

// A fresh slab on an address aligned to its size: twice the size is mapped, and what lies
// before and after the aligned slab is given back at once.
void* MapSlab() {
    const std::size_t span = 2 * kSlabSize;
    void* mapped =
        ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t slab = (start + kSlabSize - 1) & kSlabMask;
    if (slab > start)
        ::munmap(mapped, slab - start);
    if (start + span > slab + kSlabSize)
        ::munmap(reinterpret_cast<void*>(slab + kSlabSize), start + span - (slab + kSlabSize));
    return reinterpret_cast<void*>(slab);
}

void* TakeSlab() {
    {
        const std::lock_guard lock(g_keptMutex);
        if (g_keptCount > 0)
            return g_kept[--g_keptCount];
    }
    return MapSlab();
}

void GiveBackSlabs(std::vector<void*>& slabs) {
    const std::lock_guard lock(g_keptMutex);
    for (void* slab : slabs) {
        if (g_keptCount < kKeptSlabsAtMost)
            g_kept[g_keptCount++] = slab;
        else
            ::munmap(slab, kSlabSize);
    }
    slabs.clear();
}

std::uint64_t HeaderOf(const void* block) {
    std::uint64_t header;
    std::memcpy(&header, static_cast<const char*>(block) - kHeaderSize, sizeof header);
    return header;
}

// The class of one of our small blocks; a header the library overwrote ends the process (as
// a crash the pool reports) rather than let a block go to the wrong class.
std::uint32_t SmallClassOf(const void* block, std::uint32_t classCount) {
    const std::uint64_t header = HeaderOf(block);
    const auto blockClass = std::uint32_t(header);
    if (std::uint32_t(header >> 32) != kTag || blockClass == 0 || blockClass > classCount)
        std::abort();
    return blockClass;
}

void* Stamp(void* raw, std::uint32_t blockClass) {
    const std::uint64_t header = (std::uint64_t(kTag) << 32) | blockClass;
    std::memcpy(raw, &header, sizeof header);
    return static_cast<char*>(raw) + kHeaderSize;
}

std::uintptr_t AddressOf(const void* block) {
    return reinterpret_cast<std::uintptr_t>(block);
}

TidyDocumentHeap& HeapOf(TidyAllocator* self) {
    // `self` is the first member of a State: the two addresses are one.
    return *reinterpret_cast<TidyDocumentHeap::State*>(self)->heap;
}

void* TIDY_CALL HeapAlloc(TidyAllocator* self, size_t size) {
    return HeapOf(self).allocate(size);
}

void* TIDY_CALL HeapRealloc(TidyAllocator* self, void* block, size_t size) {
    return HeapOf(self).reallocate(block, size);
}

void TIDY_CALL HeapFree(TidyAllocator* self, void* block) {
    HeapOf(self).release(block);
}

// Only a broken node tree (a fault in the library) gets here: a crash the pool reports.
void TIDY_CALL HeapPanic(TidyAllocator*, ctmbstr) {
    std::abort();
}

const TidyAllocatorVtbl kHeapVtbl = {HeapAlloc, HeapRealloc, HeapFree, HeapPanic};

} // namespace

TidyDocumentHeap::TidyDocumentHeap() : m_state{{&kHeapVtbl}, this} {
    static_assert(std::is_standard_layout_v<State> && offsetof(State, base) == 0);
    m_slabs.reserve(16);
}

TidyDocumentHeap::~TidyDocumentHeap() {
    m_large.forEach([](std::uintptr_t block) { std::free(reinterpret_cast<void*>(block)); });
    GiveBackSlabs(m_slabs);
}

// Asked for every block handed back: the slab being carved and the one found last answer
// most of them (the library frees what it made together) without a look into the set.
inline __attribute__((always_inline)) bool TidyDocumentHeap::inSlab(const void* block) const {
    const std::uintptr_t slab = AddressOf(block) & kSlabMask;
    if (slab == m_carving || slab == m_found)
        return slab != 0; // no slab lies at 0 (either before the first slab)
    if (slab == 0 || !m_slabSet.contains(slab))
        return false;
    m_found = slab;
    return true;
}

void* TidyDocumentHeap::carve(std::size_t blockSize) {
    if (std::size_t(m_end - m_cursor) < blockSize) {
        void* slab = TakeSlab();
        if (!slab)
            Exhausted();
        bool listed = m_slabSet.insert(AddressOf(slab));
        if (listed) {
            try {
                m_slabs.push_back(slab);
            } catch (...) {
                m_slabSet.erase(AddressOf(slab));
                listed = false;
            }
        }
        if (!listed) {
            ::munmap(slab, kSlabSize);
            Exhausted();
        }
        m_carving = AddressOf(slab);
        m_cursor = static_cast<char*>(slab);
        m_end = m_cursor + kSlabSize;
    }
    void* block = m_cursor;
    m_cursor += blockSize;
    return block;
}

void* TidyDocumentHeap::allocate(std::size_t size) {
    if (size <= kMaxSmallBlock - kHeaderSize) {
        const std::size_t blockSize = (size + kHeaderSize + kGranule - 1) & ~(kGranule - 1);
        const auto blockClass = std::uint32_t(blockSize / kGranule);
        if (void* block = m_free[blockClass]) {
            // Its header is still in place, unless the library wrote past a neighbour's end:
            // then the process ends as a crash rather than hand out memory twice.
            if (HeaderOf(block) != ((std::uint64_t(kTag) << 32) | blockClass))
                std::abort();
            std::memcpy(&m_free[blockClass], block, sizeof(void*));
            return block;
        }
        return Stamp(carve(blockSize), blockClass);
    }
    void* block = std::malloc(size);
    if (!block)
        Exhausted();
    if (!m_large.insert(AddressOf(block))) {
        std::free(block);
        Exhausted();
    }
    return block;
}

void* TidyDocumentHeap::reallocate(void* block, std::size_t size) {
    if (!block)
        return allocate(size);
    if (inSlab(block)) {
        const std::size_t capacity =
            SmallClassOf(block, std::uint32_t(kClassCount)) * kGranule - kHeaderSize;
        if (size <= capacity)
            return block;
        void* moved = allocate(size);
        std::memcpy(moved, block, capacity);
        release(block);
        return moved;
    }
    const bool large = m_large.contains(AddressOf(block));
    // A size of 0 would free the block: a large block stays one, of at least a byte.
    void* moved = std::realloc(block, size == 0 && large ? 1 : size);
    if (!moved && (size != 0 || large))
        Exhausted();
    if (large && moved != block) {
        m_large.erase(AddressOf(block));
        if (!m_large.insert(AddressOf(moved)))
            Exhausted();
    }
    return moved;
}

void TidyDocumentHeap::release(void* block) {
    if (!block)
        return;
    if (inSlab(block)) {
        const std::uint32_t smallClass = SmallClassOf(block, std::uint32_t(kClassCount));
        std::memcpy(block, &m_free[smallClass], sizeof(void*));
        m_free[smallClass] = block;
        return;
    }
    // One of our large blocks, or one the library took from the C library elsewhere.
    m_large.erase(AddressOf(block));
    std::free(block);
}

std::size_t TidyDocumentHeap::smallCapacity(const void* block) const {
    if (!inSlab(block))
        return 0;
    return SmallClassOf(block, std::uint32_t(kClassCount)) * kGranule - kHeaderSize;
}

void SetTidyHeapExhaustedHandler(void (*handler)()) {
    g_exhausted.store(handler);
}

void ReleaseKeptTidyHeapSlabs() {
    const std::lock_guard lock(g_keptMutex);
    while (g_keptCount > 0)
        ::munmap(g_kept[--g_keptCount], kSlabSize);
}
