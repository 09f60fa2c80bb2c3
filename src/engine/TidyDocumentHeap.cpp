#include "engine/TidyDocumentHeap.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <type_traits>

namespace {

// Each block starts with an 8-byte header: its class in the low half, a tag in the high half.
// A block of the C library's allocator has its size there, whose high half is zero below
// 4 GB, so a block the library took elsewhere and hands back here is told apart and passed on.
constexpr std::uint32_t kTag = 0x4b4c5648;
constexpr std::uint32_t kLargeClass = 0xffffffff;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kGranule = 16;
constexpr std::size_t kMaxSmallBlock = 1024;
// A large block: its place in the document's list of them, its header, its bytes.
constexpr std::size_t kLargeOverhead = 2 * sizeof(void*) + kHeaderSize;
constexpr std::size_t kSlabSize = std::size_t(256) << 10;
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

void* TakeSlab() {
    {
        const std::lock_guard lock(g_keptMutex);
        if (g_keptCount > 0)
            return g_kept[--g_keptCount];
    }
    void* slab =
        ::mmap(nullptr, kSlabSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return slab == MAP_FAILED ? nullptr : slab;
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

using AliasedWord = std::uint64_t __attribute__((may_alias));

// The word before a block, ours or the C library's (whose chunk size is there). For a block of
// the C library's that word lies outside what it handed out, so it is read unchecked.
__attribute__((no_sanitize("address"))) std::uint64_t HeaderOf(const void* block) {
    return *reinterpret_cast<const AliasedWord*>(static_cast<const char*>(block) - kHeaderSize);
}

bool IsOurs(std::uint64_t header) {
    return std::uint32_t(header >> 32) == kTag;
}

std::uint32_t ClassOf(std::uint64_t header) {
    return std::uint32_t(header);
}

// The class of one of our small blocks; a header the library overwrote ends the process.
std::uint32_t SmallClassOf(std::uint64_t header, std::uint32_t classCount) {
    const std::uint32_t blockClass = ClassOf(header);
    if (blockClass == 0 || blockClass > classCount)
        std::abort();
    return blockClass;
}

void* Stamp(void* raw, std::uint32_t blockClass) {
    const std::uint64_t header = (std::uint64_t(kTag) << 32) | blockClass;
    std::memcpy(raw, &header, sizeof header);
    return static_cast<char*>(raw) + kHeaderSize;
}

template <typename Link> Link* LinkBefore(void* block) {
    return reinterpret_cast<Link*>(static_cast<char*>(block) - kHeaderSize) - 1;
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
    while (m_large) {
        LargeLink* link = m_large;
        m_large = link->next;
        std::free(link);
    }
    GiveBackSlabs(m_slabs);
}

void TidyDocumentHeap::listLarge(LargeLink* link) {
    link->prev = nullptr;
    link->next = m_large;
    if (m_large)
        m_large->prev = link;
    m_large = link;
}

void TidyDocumentHeap::unlistLarge(LargeLink* link) {
    if (link->prev)
        link->prev->next = link->next;
    else
        m_large = link->next;
    if (link->next)
        link->next->prev = link->prev;
}

void* TidyDocumentHeap::carve(std::size_t blockSize) {
    if (std::size_t(m_end - m_cursor) < blockSize) {
        void* slab = TakeSlab();
        if (!slab)
            Exhausted();
        try {
            m_slabs.push_back(slab);
        } catch (...) {
            ::munmap(slab, kSlabSize);
            Exhausted();
        }
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
    if (size > SIZE_MAX - kLargeOverhead)
        Exhausted();
    auto* link = static_cast<LargeLink*>(std::malloc(size + kLargeOverhead));
    if (!link)
        Exhausted();
    listLarge(link);
    return Stamp(link + 1, kLargeClass);
}

void* TidyDocumentHeap::reallocate(void* block, std::size_t size) {
    if (!block)
        return allocate(size);
    const std::uint64_t header = HeaderOf(block);
    if (!IsOurs(header)) {
        void* moved = std::realloc(block, size);
        if (!moved && size != 0)
            Exhausted();
        return moved;
    }
    if (ClassOf(header) == kLargeClass) {
        if (size > SIZE_MAX - kLargeOverhead)
            Exhausted();
        auto* link = LinkBefore<LargeLink>(block);
        unlistLarge(link);
        auto* moved = static_cast<LargeLink*>(std::realloc(link, size + kLargeOverhead));
        if (!moved)
            Exhausted();
        listLarge(moved);
        return reinterpret_cast<char*>(moved + 1) + kHeaderSize;
    }
    const std::size_t capacity =
        SmallClassOf(header, std::uint32_t(kClassCount)) * kGranule - kHeaderSize;
    if (size <= capacity)
        return block;
    void* moved = allocate(size);
    std::memcpy(moved, block, capacity);
    release(block);
    return moved;
}

void TidyDocumentHeap::release(void* block) {
    if (!block)
        return;
    const std::uint64_t header = HeaderOf(block);
    if (!IsOurs(header)) {
        std::free(block);
        return;
    }
    const std::uint32_t blockClass = ClassOf(header);
    if (blockClass == kLargeClass) {
        LargeLink* link = LinkBefore<LargeLink>(block);
        unlistLarge(link);
        std::free(link);
        return;
    }
    const std::uint32_t smallClass = SmallClassOf(header, std::uint32_t(kClassCount));
    std::memcpy(block, &m_free[smallClass], sizeof(void*));
    m_free[smallClass] = block;
}

std::size_t TidyDocumentHeap::smallCapacity(const void* block) {
    const std::uint64_t header = HeaderOf(block);
    if (!IsOurs(header) || ClassOf(header) == kLargeClass)
        return 0;
    return ClassOf(header) * kGranule - kHeaderSize;
}

void SetTidyHeapExhaustedHandler(void (*handler)()) {
    g_exhausted.store(handler);
}

void ReleaseKeptTidyHeapSlabs() {
    const std::lock_guard lock(g_keptMutex);
    while (g_keptCount > 0)
        ::munmap(g_kept[--g_keptCount], kSlabSize);
}
