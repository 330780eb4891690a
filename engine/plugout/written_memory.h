// Memory that the output thread will write, with every page written first
// by the thread that prepares it. A fresh block (calloc's large blocks, new
// heap) has pages that the kernel maps only at their first touch; on the
// output thread that touch would be a page fault in the middle of a fill.
// Shared by the engine and the plug-outs.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace korvane::engine {

// No page is smaller, so one write this far apart reaches every page.
inline constexpr std::size_t smallestPageBytes = 4096;

// A zero into each page of the block (the last byte too: a block that does
// not start on a page boundary may end on a page that a 4096-byte stride
// skips), through volatile so that no compiler drops it as a store of what
// calloc already gave.
inline void writeEveryPage(volatile unsigned char* block, std::size_t bytes) {
    for (std::size_t at = 0; at < bytes; at += smallestPageBytes) block[at] = 0;
    if (bytes > 0) block[bytes - 1] = 0;
}

// calloc(1, bytes) with every page written; null when calloc fails.
inline void* callocWritten(std::size_t bytes) {
    void* block = std::calloc(1, bytes);
    if (block != nullptr) writeEveryPage(static_cast<unsigned char*>(block), bytes);
    return block;
}

}  // namespace korvane::engine
