// POSIX side of what worker threads need: relative paths opened from a
// descriptor of the first working folder, and signals held back.
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "Worker.h"

namespace host {

namespace {

#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;  // no read right on the folder needed
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

}  // namespace

TBaseFolder::TBaseFolder() : fd_(::open(".", kFolderFlags)) {}

TBaseFolder::~TBaseFolder() {
    if (fd_ >= 0) ::close(fd_);
}

bool TWorkerFile::Open(const TBaseFolder& base, const std::string& path) {
    Close();
    const bool relative = path.empty() || path[0] != '/';
    if (relative && base.fd_ < 0) return false;
    // The plug-in's flags: without O_NONBLOCK the open of a pipe would wait for a writer.
    const int fd = ::openat(relative ? base.fd_ : AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = st.st_size;
    return true;
}

std::size_t TWorkerFile::ReadAt(std::int64_t offset, char* buffer, std::size_t count) {
    if (fd_ < 0 || offset < 0) return 0;
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd_, buffer + got, count - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool TWorkerFile::InCache(std::int64_t offset, char* buffer, std::size_t count) {
#ifdef RWF_NOWAIT
    if (fd_ < 0 || offset < 0) return false;
    iovec part {buffer, count};
    // Fails (EAGAIN) rather than wait when any of it would come from the disk.
    const ssize_t n = ::preadv2(fd_, &part, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    return n >= 0 && (static_cast<std::size_t>(n) == count || static_cast<std::int64_t>(n) + offset == size_);
#else
    return false;
#endif
}

void TWorkerFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

void LowerThreadPriority() {
#ifdef __linux__
    constexpr int kWorkerNice = 10;
    // Linux keeps a nice value for each thread.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNice);
#endif
}

TSignalsHeld::TSignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    held_ = ::pthread_sigmask(SIG_BLOCK, &all, &saved_) == 0;
}

TSignalsHeld::~TSignalsHeld() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace host
