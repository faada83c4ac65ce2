// POSIX side of the command's system verbs: paths are UTF-8 already.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "HostSystem.h"

namespace host {

const char kPathDelimiter = '/';

namespace {

constexpr std::size_t kPathBufferSize = 4096;  // PATH_MAX on Linux

std::string ErrorText(int code) { return std::strerror(code); }

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

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

std::string FolderOfProgram(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) return {};
    return cut == 0 ? std::string("/") : path.substr(0, cut);
}

}  // namespace

TFileKind KindOf(const std::string& path) {
    TFileId id;
    return KindOf(path, id);
}

TFileKind KindOf(const std::string& path, TFileId& id) {
    struct stat st {};
    id = TFileId {};
    if (::stat(path.c_str(), &st) != 0) return TFileKind::Missing;
    id = IdOf(st);
    if (S_ISREG(st.st_mode)) return TFileKind::File;
    if (S_ISDIR(st.st_mode)) return TFileKind::Folder;
    return TFileKind::Other;
}

bool IdentityOf(const std::string& path, TFileId& id) { return KindOf(path, id) != TFileKind::Missing; }

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
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

TWorkingFolder::~TWorkingFolder() {
    Leave();
    if (saved_ >= 0) ::close(saved_);
}

bool TWorkingFolder::Enter(const std::string& path, std::string& error) {
    if (saved_ < 0) saved_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (saved_ < 0) {
        error = ErrorText(errno);
        return false;
    }
    if (::chdir(path.c_str()) != 0) {
        error = ErrorText(errno);
        return false;
    }
    inside_ = true;
    return true;
}

bool TWorkingFolder::Leave() {
    if (!inside_) return true;
    inside_ = ::fchdir(saved_) != 0;
    return !inside_;
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

namespace {

// Asked once: the command's working folder is only ever moved for a moment
// (TWorkingFolder) and put back.
const std::string& WorkingFolderPath() {
    static const std::string folder = [] {
        char buffer[kPathBufferSize];
        return ::getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
    }();
    return folder;
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
    std::string full = path;
    if (path.empty() || path[0] != '/') {
        if (WorkingFolderPath().empty()) return path;
        full = WorkingFolderPath() + "/" + path;
    }
    // Lexical: "." segments go, ".." takes the segment before it.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= full.size()) {
        std::size_t end = full.find('/', start);
        if (end == std::string::npos) end = full.size();
        const std::string part = full.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

std::string ResolvedPath(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') --end;
    const std::size_t cut = path.rfind('/', end - 1);
    const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    const std::string name = path.substr(cut == std::string::npos ? 0 : cut + 1, end - (cut == std::string::npos ? 0 : cut + 1));
    if (name.empty() || name == "." || name == "..") return AbsolutePath(path);
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) return AbsolutePath(path);
    std::string out = resolved;
    std::free(resolved);
    return out == "/" ? "/" + name : out + "/" + name;
}

std::string NameKey(const std::string& path) { return AbsolutePath(path); }

std::string LastErrorText() { return ErrorText(errno); }

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool MakeFolders(const std::string& path) {
    constexpr mode_t kFolderMode = 0700;  // journals hold the user's paths
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            if (::mkdir(prefix.c_str(), kFolderMode) != 0 && errno != EEXIST) return false;
        }
    }
    return KindOf(path) == TFileKind::Folder;
}

std::FILE* CreateNewFile(const std::string& path) {
    constexpr mode_t kFileMode = 0600;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) ::close(fd);
    return file;
}

std::FILE* OpenForReading(const std::string& path) {
    if (KindOf(path) != TFileKind::File) return nullptr;
    return std::fopen(path.c_str(), "re");
}

std::FILE* OpenForAppending(const std::string& path) {
    if (KindOf(path) != TFileKind::File) return nullptr;
    return std::fopen(path.c_str(), "ae");
}

bool FlushFile(std::FILE* file) { return std::fflush(file) == 0; }

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string StateFolder() {
    const std::string xdg = EnvironmentValue("XDG_STATE_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/pelmora";
    const std::string home = EnvironmentValue("HOME");
    if (!home.empty()) return home + "/.local/state/pelmora";
    return {};
}

std::string ProgramFolder() {
    char buffer[kPathBufferSize];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) return FolderOfProgram(std::string(buffer, static_cast<std::size_t>(n)));
    // Without /proc: the file the system was asked to run, as it was named to
    // execve (the shell gives the full path of a command it found on PATH),
    // taken against the folder the program started in.
    const auto* named = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (named == nullptr || std::strchr(named, '/') == nullptr) return {};
    char* resolved = ::realpath(named, nullptr);
    if (resolved == nullptr) return {};
    const std::string path = resolved;
    std::free(resolved);
    return FolderOfProgram(path);
}

void OpenClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor: this one, since those below it are open.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

bool WriteOut(const std::string& text) { return WriteAll(STDOUT_FILENO, text); }
bool WriteErr(const std::string& text) { return WriteAll(STDERR_FILENO, text); }
bool ErrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

void KillSelf() {
    ::raise(SIGKILL);
    std::_Exit(EXIT_FAILURE);
}

TLibrary::~TLibrary() {
    if (module_ != nullptr) ::dlclose(module_);
}

bool TLibrary::Load(const std::string& path, std::string& error) {
    // dlopen searches the library path for a bare name; a host names a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    module_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "cannot load";
        return false;
    }
    return true;
}

void* TLibrary::Symbol(const char* name) const { return module_ != nullptr ? ::dlsym(module_, name) : nullptr; }

}  // namespace host
