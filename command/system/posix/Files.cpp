// POSIX side of files and folders: paths are UTF-8 already.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "Files.h"
#include "Shared.h"

namespace host {

namespace {

TFileKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return TFileKind::File;
    if (S_ISDIR(mode)) return TFileKind::Folder;
    return TFileKind::Other;
}

TFileId IdOf(const struct stat& st) {
    TFileId id;
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    constexpr std::int64_t kNanosPerSecond = 1000000000;
    id.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
    id.valid = true;
    return id;
}

}  // namespace

bool IdentityOf(const std::string& path, TFileId& id) {
    struct stat st {};
    id = TFileId {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id = IdOf(st);
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error) {
    names.clear();
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        error = ErrorText(errno);
        return false;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(folder);
    return true;
}

TEntryInfo Examine(const std::string& path) {
    TEntryInfo info;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) info.error = ErrorText(errno);
        return info;
    }
    info.link = S_ISLNK(st.st_mode);
    if (!info.link) {
        info.kind = KindOfMode(st.st_mode);
    } else if (::stat(path.c_str(), &st) == 0) {
        info.kind = KindOfMode(st.st_mode);
    }
    return info;
}

bool ListFolderEntries(const std::string& path, std::vector<TFolderEntry>& entries, std::string& error) {
    entries.clear();
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        error = ErrorText(errno);
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        TFolderEntry e;
        e.name = entry->d_name;
        if (e.name == "." || e.name == "..") continue;
        switch (entry->d_type) {
        case DT_REG: e.kind = TFileKind::File; e.known = true; break;
        case DT_DIR: e.kind = TFileKind::Folder; e.known = true; break;
        case DT_LNK: e.link = true; break;  // what it leads to needs a look
        case DT_UNKNOWN: break;
        default: e.kind = TFileKind::Other; e.known = true; break;
        }
        entries.push_back(std::move(e));
    }
    const int readError = errno;
    ::closedir(folder);
    if (readError != 0) {
        error = ErrorText(readError);
        return false;
    }
    return true;
}

bool CanChangeFolder(const std::string& path, std::string& error) {
    if (::access(path.c_str(), W_OK | X_OK) == 0) return true;
    error = ErrorText(errno);
    return false;
}

std::string ListedName(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {};
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool CanRead(const std::string& path, std::string& error) {
    // Non-blocking, so that a pipe named like an MP3 cannot stall the run.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = ErrorText(errno);
        return false;
    }
    char probe = 0;
    const ssize_t n = ::read(fd, &probe, 1);
    const int readError = errno;
    ::close(fd);
    if (n < 0) {
        error = ErrorText(readError);
        return false;
    }
    return true;
}

std::string LastErrorText() { return ErrorText(errno); }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

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

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = ErrorText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISREG(st.st_mode) ? ErrorText(errno) : "not a regular file";
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

bool TAppendFile::Create(const std::string& path, std::string& error) {
    Close();
    constexpr mode_t kFileMode = 0600;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd_ < 0) error = ErrorText(errno);
    size_ = 0;
    return fd_ >= 0;
}

bool TAppendFile::Open(const std::string& path, std::string& error) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = fd_ < 0 ? ErrorText(errno) : "not a regular file";
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
            if (done > 0) ::ftruncate(fd_, static_cast<off_t>(size_));
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
