#pragma once
// The memory HTML Tidy uses for one document.
//
// The library makes a great many small allocations (nodes, attributes, copies of names and
// text) and frees most of them only when the document goes. Through the C library's allocator
// that was about a tenth of a helper's time, and the pages returned after one document were
// faulted in again by the next. Here a small block comes from a size class carved out of large
// slabs, a freed block is reused by its class, and the slabs outlive the document (up to a
// bound) for the next one. Larger blocks (the lexer's growing buffers) stay with the C library
// but are listed, so that whatever the library does not free goes with the document too.

#include <cstddef>
#include <tidy/tidy.h>
#include <vector>

class TidyDocumentHeap {
public:
    TidyDocumentHeap();
    // Every block of the document goes at once; its slabs are kept for the next document or
    // returned to the system.
    ~TidyDocumentHeap();
    TidyDocumentHeap(const TidyDocumentHeap&) = delete;
    TidyDocumentHeap& operator=(const TidyDocumentHeap&) = delete;

    // For tidyCreateWithAllocator; valid while this heap lives.
    TidyAllocator* allocator() { return &m_state.base; }

    // What the library holds: the address of `base`, from which the heap is found.
    struct State {
        TidyAllocator base;
        TidyDocumentHeap* heap;
    };

    // The library's calls, public for tests. allocate never answers null: when no memory can
    // be had it calls the exhausted handler, which does not return.
    void* allocate(std::size_t size);
    void* reallocate(void* block, std::size_t size);
    void release(void* block);

    // A small block's usable size, which a reallocation within it keeps; 0 for other blocks.
    static std::size_t smallCapacity(const void* block);

private:
    static constexpr int kClassCount = 64; // 16 bytes apart, blocks of 16 to 1,024 bytes

    // A large block's place in the list of the document's large blocks, before its header.
    struct LargeLink {
        LargeLink* prev;
        LargeLink* next;
    };

    void* carve(std::size_t blockSize);
    void listLarge(LargeLink* link);
    void unlistLarge(LargeLink* link);

    State m_state;
    void* m_free[kClassCount + 1] = {};
    char* m_cursor = nullptr;
    char* m_end = nullptr;
    std::vector<void*> m_slabs;
    LargeLink* m_large = nullptr;
};

// Called when memory cannot be had; must not return. The helper ends its process with the
// out-of-memory status; without one, std::abort.
void SetTidyHeapExhaustedHandler(void (*handler)());

// Returns the slabs kept for later documents to the system (after a large document).
void ReleaseKeptTidyHeapSlabs();
