// POSIX side of files and folders: paths are UTF-8 already.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

bool IdentityOf(const std::string& path, TFileId& id) {
    struct stat st {};
    id = TFileId {};
    if (::stat(path.c_str(), &st) != 0) return false;
    constexpr std::int64_t kNanosPerSecond = 1000000000;
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
    id.valid = true;
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEntryInfo Examine(const std::string& path) {
    TEntryInfo info;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) info.error = ErrorText(errno);
        return info;
    }
    info.link = S_ISLNK(st.st_mode);
    if (!info.link || ::stat(path.c_str(), &st) == 0) info.kind = KindOfMode(st.st_mode);
    return info;
}

bool ListFolderEntries(const std::string& path, std::vector<TFolderEntry>& entries, std::string& error) {
    entries.clear();
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        error = ErrorText(errno);
        return false;
    }
    // Only readdir's own errno tells a failed read from the end: the loop's allocations may set it too.
    for (errno = 0; const dirent* entry = ::readdir(folder); errno = 0) {
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
    return Told(::access(path.c_str(), W_OK | X_OK) == 0, error);
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

}  // namespace host
