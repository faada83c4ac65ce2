// What a leak would leave behind in a POSIX process: descriptors in
// /proc/self/fd and bytes on the heap; and LeakSanitizer's verdict when it runs.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// Not every compiler ships the header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace leak_probe {

std::int64_t OpenHandles() {
    DIR* d = ::opendir("/proc/self/fd");
    if (d == nullptr) return -1;
    std::int64_t count = 0;
    while (::readdir(d) != nullptr) ++count;
    ::closedir(d);
    return count;
}

std::int64_t GdiObjects() { return -1; }

std::int64_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    return static_cast<std::int64_t>(mallinfo2().uordblks);
#endif
}

bool NoLeakFound() {
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() == 0;
#else
    return true;
#endif
}

}  // namespace leak_probe

namespace {

// The probes must see what they count come and go.
TEST(LeakProbe, SeesADescriptorAndHeapBytesComeAndGo) {
    const std::int64_t handles = leak_probe::OpenHandles();
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(leak_probe::OpenHandles(), handles + 1);
    ::close(fd);
    EXPECT_EQ(leak_probe::OpenHandles(), handles);

    constexpr std::size_t kBlock = 1 << 20;
    const std::int64_t heap = leak_probe::HeapInUse();
    void* volatile block = std::malloc(kBlock);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(leak_probe::HeapInUse() - heap, static_cast<std::int64_t>(kBlock));
    std::free(block);
    EXPECT_LT(leak_probe::HeapInUse() - heap, static_cast<std::int64_t>(kBlock));
}

}  // namespace
