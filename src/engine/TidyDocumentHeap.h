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
//
// Whether a block handed back is the heap's is told by its address alone: it lies in one of
// the heap's slabs (aligned to their size, so its slab is found by masking), or it is one of
// its large blocks. Anything else is the C library's and goes back to it; nothing outside the
// heap's own memory is ever read.

#include "engine/AddressSet.h"

#include <cstddef>
#include <cstdint>
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

    // A small block's usable size, which a reallocation within it keeps; 0 for other blocks
    // (large ones, and those that are not this heap's).
    std::size_t smallCapacity(const void* block) const;

private:
    static constexpr int kClassCount = 64; // 16 bytes apart, blocks of 16 to 1,024 bytes

    void* carve(std::size_t blockSize);
    // `block` lies in one of this heap's slabs.
    bool inSlab(const void* block) const;

    State m_state;
    void* m_free[kClassCount + 1] = {};
    char* m_cursor = nullptr;
    char* m_end = nullptr;
    std::uintptr_t m_carving = 0;       // the slab carved from now, the likeliest owner of a block
    mutable std::uintptr_t m_found = 0; // the slab a block was last found in
    std::vector<void*> m_slabs;
    AddressSet m_slabSet; // every slab of m_slabs
    AddressSet m_large;   // the large blocks, as the C library gave them
};

// Called when memory cannot be had; must not return. The helper ends its process with the
// out-of-memory status; without one, std::abort.
void SetTidyHeapExhaustedHandler(void (*handler)());

// Returns the slabs kept for later documents to the system (after a large document).
void ReleaseKeptTidyHeapSlabs();
