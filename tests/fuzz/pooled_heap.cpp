// Memory for `new` in the whole-run fuzzer: size classes on free lists, each
// block between poisoned red zones.
//
// The program logic never calls `new`: its memory is LocalAlloc's (which the
// simulated machine serves with malloc, under AddressSanitizer's full watch),
// its stack, and the buffers it hands to the platform. What calls `new` is
// the machine's bookkeeping (call log, files, devices, handles), a thousand
// and more small blocks per input, and AddressSanitizer's allocator spends
// most of an input's time on them: a stack trace for each block and a
// quarantine that cycles freed memory through a quarter of a gigabyte.
//
// Here a block still lies between poisoned red zones, the bytes past its
// requested size are poisoned, and a freed block stays poisoned until it is
// handed out again; so a read or write past a text or table the machine
// hands to the program (the command line, a string block, a device's IDs)
// is still found, and so is a block deleted twice. What is lost is the
// quarantine's long memory of freed blocks and the allocation stacks in
// reports: replay a finding with the ordinary allocator for those
// (OSTREL_FUZZ_PLAIN_HEAP=1 in the environment).
#include <sanitizer/asan_interface.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kGranule = 16;
constexpr std::size_t kRedZone = 16;  // before each block (its header) and after it
constexpr std::size_t kLargestPooled = 1024;
constexpr std::size_t kClasses = kLargestPooled / kGranule;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::size_t kLarge = kClasses;  // a block from malloc, too big for a class
constexpr std::size_t kFreed = ~std::size_t{0};

// In the red zone before each block.
struct Header {
    std::size_t sizeClass;  // or kLarge
    std::size_t requested;  // or kFreed while on a free list
};
static_assert(sizeof(Header) == kRedZone);

struct FreeBlock {
    FreeBlock* next;
};

// Each thread has its own lists and chunk, so that the hot path takes no
// lock (libFuzzer runs the inputs on one thread); a block freed on another
// thread joins that thread's lists. Only the list of chunks is shared.
thread_local FreeBlock* freeLists[kClasses] = {};
thread_local char* cursor = nullptr;  // the unused rest of this thread's newest chunk
thread_local char* chunkEnd = nullptr;
void* newestChunk = nullptr;  // each chunk's first word links to the one before: all stay reachable
std::atomic_flag busy = ATOMIC_FLAG_INIT;

class Lock {
public:
    Lock()
    {
        while (busy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Lock() { busy.clear(std::memory_order_release); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

bool PlainHeap()
{
    static const bool plain = std::getenv("OSTREL_FUZZ_PLAIN_HEAP") != nullptr;
    return plain;
}

std::size_t ClassBytes(std::size_t sizeClass) { return (sizeClass + 1) * kGranule; }

__attribute__((no_sanitize("address"))) char* Carve(std::size_t sizeClass)
{
    const std::size_t stride = kRedZone + ClassBytes(sizeClass) + kRedZone;
    if (cursor == nullptr || static_cast<std::size_t>(chunkEnd - cursor) < stride) {
        char* chunk = static_cast<char*>(std::malloc(kChunkBytes));
        if (chunk == nullptr) return nullptr;
        {
            const Lock lock;
            *reinterpret_cast<void**>(chunk) = newestChunk;
            newestChunk = chunk;
        }
        cursor = chunk + kGranule;
        chunkEnd = chunk + kChunkBytes;
        __asan_poison_memory_region(cursor, static_cast<std::size_t>(chunkEnd - cursor));
    }
    char* block = cursor + kRedZone;
    cursor += stride;
    return block;
}

__attribute__((no_sanitize("address"))) void* Allocate(std::size_t size)
{
    if (PlainHeap()) return std::malloc(size == 0 ? 1 : size);
    char* block = nullptr;
    std::size_t sizeClass = kLarge;
    if (size <= kLargestPooled) {
        sizeClass = size == 0 ? 0 : (size - 1) / kGranule;
        if (FreeBlock* reused = freeLists[sizeClass]; reused != nullptr) {
            freeLists[sizeClass] = reused->next;
            block = reinterpret_cast<char*>(reused);
        } else {
            block = Carve(sizeClass);
        }
    } else if (char* raw = static_cast<char*>(std::malloc(kRedZone + size)); raw != nullptr) {
        block = raw + kRedZone;
        __asan_poison_memory_region(raw, kRedZone);
    }
    if (block == nullptr) return nullptr;
    auto* header = reinterpret_cast<Header*>(block - kRedZone);
    header->sizeClass = sizeClass;
    header->requested = size;
    __asan_unpoison_memory_region(block, size);
    return block;
}

__attribute__((no_sanitize("address"))) void Release(void* memory)
{
    if (memory == nullptr) return;
    if (PlainHeap()) return std::free(memory);
    char* block = static_cast<char*>(memory);
    auto* header = reinterpret_cast<Header*>(block - kRedZone);
    if (header->requested == kFreed) {
        (void)std::fprintf(stderr, "pooled heap: block %p deleted twice\n", memory);
        std::abort();
    }
    if (header->sizeClass == kLarge) {
        __asan_unpoison_memory_region(block - kRedZone, kRedZone);
        std::free(block - kRedZone);
        return;
    }
    __asan_poison_memory_region(block, ClassBytes(header->sizeClass));
    header->requested = kFreed;
    auto* freed = reinterpret_cast<FreeBlock*>(block);
    freed->next = freeLists[header->sizeClass];
    freeLists[header->sizeClass] = freed;
}

void* AllocateOrThrow(std::size_t size)
{
    void* memory = Allocate(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t& /*unused*/) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t& /*unused*/) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { Release(memory); }
void operator delete[](void* memory) noexcept { Release(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { Release(memory); }
void operator delete[](void* memory, std::size_t /*size*/) noexcept { Release(memory); }
void operator delete(void* memory, const std::nothrow_t& /*unused*/) noexcept { Release(memory); }
void operator delete[](void* memory, const std::nothrow_t& /*unused*/) noexcept { Release(memory); }
