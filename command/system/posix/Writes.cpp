// POSIX side of the files the command writes itself: its journals, each
// text appended whole, and the lock that keeps two runs apart.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Files.h"
#include "Shared.h"

namespace host {

bool MakeFolders(const std::string& path, std::string& error) {
    constexpr mode_t kFolderMode = 0700;  // journals hold the user's paths
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            if (::mkdir(prefix.c_str(), kFolderMode) != 0 && errno != EEXIST) {
                error = ErrorText(errno);
                return false;
            }
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = ErrorText(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) return true;
    error = ErrorText(ENOTDIR);
    return false;
}

bool MakeFolder(const std::string& path, std::string& error) {
    constexpr mode_t kUserFolderMode = 0777;  // as the user's umask allows
    return Told(::mkdir(path.c_str(), kUserFolderMode) == 0, error);
}

bool RemoveFolder(const std::string& path, std::string& error) {
    return Told(::rmdir(path.c_str()) == 0, error);
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = ErrorText(errno);
        return false;
    }
    struct stat st {};
    const bool examined = ::fstat(fd, &st) == 0;
    if (!examined || !S_ISREG(st.st_mode)) {
        error = examined ? "not a regular file" : ErrorText(errno);
        ::close(fd);
        return false;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = ErrorText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

namespace {

// One writer at a time, as Windows has it by sharing only reads: two runs
// each writing at its own end would write over each other's lines. A system
// that keeps no such locks (a share without them) is written unlocked.
bool WriteAlone(int fd, std::string& error) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return true;
    error = "another process is writing it";
    return false;
}

}  // namespace

bool TAppendFile::Create(const std::string& path, std::string& error) {
    Close();
    constexpr mode_t kFileMode = 0600;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd_ < 0) error = ErrorText(errno);
    size_ = 0;
    if (fd_ >= 0 && WriteAlone(fd_, error)) return true;
    Close();
    return false;
}

bool TAppendFile::Open(const std::string& path, std::string& error) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    const bool examined = fd_ >= 0 && ::fstat(fd_, &st) == 0;
    if (!examined || !S_ISREG(st.st_mode)) {
        error = examined ? "not a regular file" : ErrorText(errno);
        Close();
        return false;
    }
    if (!WriteAlone(fd_, error)) {
        Close();
        return false;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool TAppendFile::IsOpen() const { return fd_ >= 0; }

bool TAppendFile::Append(const std::string& text, std::string& error) {
    if (fd_ < 0) {
        error = ErrorText(EBADF);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(size_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = ErrorText(n < 0 ? errno : ENOSPC);
            // What was written of it goes again: a line is whole or absent.
            if (done > 0 && ::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
                // Left cut part-way: a reader takes a last line without its end as not written.
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    size_ += done;
    return true;
}

bool TAppendFile::CutTo(std::uint64_t size, std::string& error) {
    if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        error = ErrorText(fd_ < 0 ? EBADF : errno);
        return false;
    }
    size_ = size;
    return true;
}

void TAppendFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

TLockFile::~TLockFile() {
    if (fd_ >= 0) ::close(fd_);
}

TLockFile::TResult TLockFile::Take(const std::string& path, const std::string& note, std::string& text) {
    if (fd_ < 0) {
        constexpr mode_t kFileMode = 0600;
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kFileMode);
        if (fd_ < 0) {
            text = ErrorText(errno);
            return TResult::Failed;
        }
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            text = ErrorText(errno);
            return TResult::Failed;
        }
        char buffer[512];
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, 0);
        text.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        return TResult::Busy;
    }
    // The note is only for the others' message: a failure to write it costs nothing.
    if (::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, note.data(), note.size(), 0) < 0) text.clear();
    return TResult::Taken;
}

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace host
