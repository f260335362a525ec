#include "lib/mem.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tagpolish {
namespace {

void* volatile sink;  // keeps the compiler from dropping test allocations

// Lets the process keep what it has mapped but map nothing more, then uses
// up the heap with blocks of size bytes, so that the next such request fails.
void starve(int size) {
    rlim_t pages = 0;
    {
        // Closed before the heap is used up, so that it frees nothing after.
        std::ifstream statm("/proc/self/statm");
        statm >> pages;
    }
    const rlim_t bytes = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(99);
    for (void* p = std::malloc(static_cast<std::size_t>(size)); p != nullptr;
         p = std::malloc(static_cast<std::size_t>(size))) {
        sink = p;
    }
}

#ifdef __SANITIZE_ADDRESS__
#define SKIP_WITHOUT_PLAIN_MALLOC() GTEST_SKIP() << "the sanitizer's allocator aborts instead"
#else
#define SKIP_WITHOUT_PLAIN_MALLOC()
#endif

TEST(LargeAlloc, WholeCapacityIsUsableAndLargeBlocksStartOnHugePages) {
    const std::size_t sizes[] = {0,
                                 1,
                                 large_block_min - 1,
                                 large_block_min,
                                 large_block_min + 1,
                                 3 * large_block_min + 12345};
    for (std::size_t size : sizes) {
        const std::size_t capacity = large_capacity(size);
        EXPECT_GE(capacity, size);
        if (size >= large_block_min) {
            EXPECT_EQ(0u, capacity % large_block_min) << size;
            EXPECT_LT(capacity - size, large_block_min) << size;
        }
        auto* block = static_cast<unsigned char*>(large_alloc(capacity));
        ASSERT_NE(nullptr, block);
        if (size >= large_block_min) {
            EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % large_block_min) << size;
        }
        if (capacity > 0) {
            std::memset(block, 0x5A, capacity);
            EXPECT_EQ(0x5A, block[0]);
            EXPECT_EQ(0x5A, block[capacity - 1]);
        }
        large_free(block, capacity);
    }
    large_free(nullptr, large_block_min);
}

// A block that grows from a small size past the huge page size, and then
// as a mapping, keeps what it held at every step.
TEST(LargeAlloc, GrowingBlockKeepsItsContents) {
    const std::size_t sizes[] = {1000,
                                 1 << 17,
                                 large_block_min - 1,
                                 large_block_min + 1,
                                 3 * large_block_min,
                                 8 * large_block_min};
    std::size_t size = 16;
    auto* block = static_cast<unsigned char*>(large_alloc(size));
    for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<unsigned char>(i * 7);
    for (std::size_t next : sizes) {
        block = static_cast<unsigned char*>(large_realloc(block, size, next));
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < size; ++i)
            wrong += block[i] != static_cast<unsigned char>(i * 7);
        EXPECT_EQ(0u, wrong) << next;
        for (std::size_t i = size; i < next; ++i) block[i] = static_cast<unsigned char>(i * 7);
        size = next;
    }
    large_free(block, size);
}

TEST(MemoryHandlerDeathTest, FailedNewEnds) {
    SKIP_WITHOUT_PLAIN_MALLOC();
    EXPECT_EXIT(
        {
            install_memory_handler();
            starve(4096);
            auto block = std::make_unique<char[]>(std::size_t{1} << 30);
            sink = block.get();
            std::_Exit(2);
        },
        testing::ExitedWithCode(1), "^cannot get memory\n$");
}

// Under a limit on the address space, eight threads that allocate at once,
// and then a block that fits beside their stacks.
[[noreturn]] void allocate_beside_threads() {
    rlim_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t room = rlim_t{320} << 20;
    const rlimit limit{pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + room, RLIM_INFINITY};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(99);
    install_memory_handler();
    constexpr int count = 8;
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&started] {
            sink = std::make_unique<char[]>(1000).get();
            started.fetch_add(1);
            while (started.load() < count) usleep(1000);  // all at once
        });
    }
    for (std::thread& t : threads) t.join();
    sink = std::make_unique<char[]>(std::size_t{200} << 20).get();
    std::_Exit(0);
}

// The threads' allocators leave the room that a large page needs.
TEST(MemoryHandlerDeathTest, ThreadsLeaveRoomUnderAnAddressLimit) {
    SKIP_WITHOUT_PLAIN_MALLOC();
    EXPECT_EXIT(allocate_beside_threads(), testing::ExitedWithCode(0), "^$");
}

}  // namespace
}  // namespace tagpolish
