// LodePNG's allocation hooks and the large blocks PNG saves keep between them.
// Built into the LodePNG library itself, so every program that links it has
// the hooks; only a thread holding the kept memory is served from it, every
// other allocation is a plain one. Fresh memory costs a page fault per page on
// first touch: a 4K save touches some 100 MB of it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "output/output.h"

namespace {

// Each hook allocation starts with this; `kept` is the index of the kept
// block + 1, or 0 for a plain allocation.
struct alignas(16) Header {
    std::size_t size;
    std::size_t kept;
};

// Smaller requests are cheap to fault in and come and go by the thousand.
constexpr std::size_t keptThreshold = 1 << 20;
constexpr std::size_t keptBlockCount = 8;

struct KeptBlock {
    Header* memory = nullptr;
    std::size_t capacity = 0; // bytes after the header
    bool inUse = false;
};

struct KeptMemory {
    std::mutex lock; // held by the one thread served from the blocks
    KeptBlock blocks[keptBlockCount];
    std::chrono::steady_clock::time_point lastUse;
};

KeptMemory& keptMemory() {
    static KeptMemory* memory = new KeptMemory; // outlives every thread that saves
    return *memory;
}

thread_local KeptMemory* heldMemory = nullptr;

void* plainAllocation(std::size_t size) {
    if (size > SIZE_MAX - sizeof(Header))
        return nullptr;
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!header)
        return nullptr;
    *header = Header{size, 0};
    return header + 1;
}

// The smallest free block that holds `size`, else a new one in a free slot
// (a slot's smaller free block given back for it). Null when none can be had.
void* keptAllocation(KeptMemory& memory, std::size_t size) {
    KeptBlock* best = nullptr;
    for (KeptBlock& block : memory.blocks)
        if (block.memory && !block.inUse && block.capacity >= size && (!best || block.capacity < best->capacity))
            best = &block;
    if (!best) {
        for (KeptBlock& block : memory.blocks)
            if (!block.inUse && (!best || !block.memory || (best->memory && block.capacity < best->capacity)))
                best = &block;
        if (!best || size > SIZE_MAX - sizeof(Header))
            return nullptr;
        std::free(best->memory);
        *best = KeptBlock{};
        best->memory = static_cast<Header*>(std::malloc(sizeof(Header) + size));
        if (!best->memory)
            return nullptr;
        best->capacity = size;
    }
    best->inUse = true;
    *best->memory = Header{size, static_cast<std::size_t>(best - memory.blocks) + 1};
    return best->memory + 1;
}

void* allocate(std::size_t size) {
    if (heldMemory && size >= keptThreshold)
        if (void* kept = keptAllocation(*heldMemory, size))
            return kept;
    return plainAllocation(size);
}

} // namespace

void* lodepng_malloc(std::size_t size) { return allocate(size); }

void lodepng_free(void* pointer) {
    if (!pointer)
        return;
    Header* header = static_cast<Header*>(pointer) - 1;
    if (header->kept == 0)
        std::free(header);
    else
        keptMemory().blocks[header->kept - 1].inUse = false; // only ever on the thread that holds them
}

void* lodepng_realloc(void* pointer, std::size_t size) {
    if (!pointer)
        return allocate(size);
    Header* header = static_cast<Header*>(pointer) - 1;
    if (header->kept != 0 && keptMemory().blocks[header->kept - 1].capacity >= size) {
        header->size = size;
        return pointer;
    }
    if (header->kept == 0 && !(heldMemory && size >= keptThreshold)) {
        if (size > SIZE_MAX - sizeof(Header))
            return nullptr;
        auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + size));
        if (!moved)
            return nullptr;
        moved->size = size;
        return moved + 1;
    }
    void* moved = allocate(size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, pointer, std::min(header->size, size));
    lodepng_free(pointer);
    return moved;
}

bool holdPngMemory() {
    if (heldMemory)
        return false;
    KeptMemory& memory = keptMemory();
    if (!memory.lock.try_lock())
        return false;
    heldMemory = &memory;
    return true;
}

void letGoPngMemory() {
    if (!heldMemory)
        return;
    heldMemory->lastUse = std::chrono::steady_clock::now();
    heldMemory = nullptr;
    keptMemory().lock.unlock();
}

std::size_t keptPngMemory() {
    KeptMemory& memory = keptMemory();
    std::lock_guard<std::mutex> hold(memory.lock);
    std::size_t bytes = 0;
    for (const KeptBlock& block : memory.blocks)
        bytes += block.memory ? block.capacity : 0;
    return bytes;
}

void givePngMemoryBackIfIdle(std::chrono::steady_clock::time_point now) {
    KeptMemory& memory = keptMemory();
    std::unique_lock<std::mutex> hold(memory.lock, std::try_to_lock);
    if (!hold || now - memory.lastUse < pngMemoryIdleTime)
        return;
    for (KeptBlock& block : memory.blocks) {
        std::free(block.memory); // none is in use: no save holds them
        block = KeptBlock{};
    }
}
