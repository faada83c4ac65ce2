// Windows side of the command's system verbs: UTF-8 in, UTF-16 to the system,
// so every name on disk can be listed, whatever the ANSI code page holds.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdlib>

#include "HostSystem.h"
#include "platform.h"

namespace host {

const char kPathDelimiter = '\\';

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string ErrorText(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file or directory";
    case ERROR_ACCESS_DENIED: return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "In use by another program";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "File exists";
    case ERROR_INVALID_NAME: return "Invalid name";
    case ERROR_FILENAME_EXCED_RANGE: return "File name too long";
    case ERROR_WRITE_PROTECT: return "Read-only file system";
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return "Broken pipe";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    default: return "System error " + std::to_string(code);
    }
}

bool WriteTo(DWORD which, const std::string& text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(text);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
               written == wide.size();
    }
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool IsNotFound(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

TFileKind KindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return TFileKind::Other;
    return TFileKind::File;
}

std::FILE* Open(const std::string& path, const wchar_t* mode) {
    if (KindOf(path) != TFileKind::File) return nullptr;
    return _wfopen(Wide(path).c_str(), mode);
}

}  // namespace

TFileKind KindOf(const std::string& path, TFileId& id) {
    id = TFileId {};
    return KindOf(path);
}

bool IdentityOf(const std::string& path, TFileId& id) {
    id = TFileId {};
    // Attributes only: a file another program holds open can still be examined.
    const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!ok) return false;
    constexpr unsigned kHighShift = 32;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << kHighShift) | info.nFileIndexLow;
    id.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << kHighShift) | info.nFileSizeLow;
    id.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << kHighShift) |
                                            info.ftLastWriteTime.dwLowDateTime);
    id.valid = true;
    return true;
}

TFileKind KindOf(const std::string& path) {
    // CreateFileW follows links, as the plug-in's open does.
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TFileKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return TFileKind::Other;
    return TFileKind::File;
}

bool IsSymbolicLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error) {
    names.clear();
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty drive root
        error = ErrorText(code);
        return false;
    }
    do {
        const std::string name = Narrow(found.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

TEntryInfo Examine(const std::string& path) {
    TEntryInfo info;
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (!IsNotFound(code)) info.error = ErrorText(code);
        return info;
    }
    info.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (info.link) {
        // Opening follows the link: a link to nothing cannot be opened.
        const HANDLE target = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (target == INVALID_HANDLE_VALUE) return info;
        CloseHandle(target);
    }
    info.kind = KindOfAttributes(attributes);
    return info;
}

bool ListFolderEntries(const std::string& path, std::vector<TFolderEntry>& entries, std::string& error) {
    entries.clear();
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;  // an empty drive root
        error = ErrorText(code);
        return false;
    }
    do {
        TFolderEntry e;
        e.name = Narrow(found.cFileName);
        if (e.name == "." || e.name == "..") continue;
        e.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        e.kind = KindOfAttributes(found.dwFileAttributes);
        e.known = !e.link;
        entries.push_back(std::move(e));
    } while (FindNextFileW(search, &found));
    const DWORD code = GetLastError();
    FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        error = ErrorText(code);
        return false;
    }
    return true;
}

bool CanChangeFolder(const std::string& path, std::string& error) {
    // Asking for the rights to add and remove entries checks them, as the move would.
    const HANDLE folder = CreateFileW(Wide(path).c_str(), FILE_ADD_FILE | FILE_DELETE_CHILD,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        error = ErrorText(GetLastError());
        return false;
    }
    CloseHandle(folder);
    return true;
}

std::string ListedName(const std::string& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    FindClose(search);
    return Narrow(found.cFileName);
}

TWorkingFolder::~TWorkingFolder() { Leave(); }

bool TWorkingFolder::Enter(const std::string& path, std::string& error) {
    if (saved_.empty()) {
        const DWORD n = GetCurrentDirectoryW(0, nullptr);
        std::wstring current(n, L'\0');
        const DWORD got = n == 0 ? 0 : GetCurrentDirectoryW(n, current.data());
        if (got == 0 || got >= n) {
            error = ErrorText(GetLastError());
            return false;
        }
        current.resize(got);
        saved_ = current;
    }
    if (!SetCurrentDirectoryW(Wide(path).c_str())) {
        error = ErrorText(GetLastError());
        return false;
    }
    inside_ = true;
    return true;
}

bool TWorkingFolder::Leave() {
    if (!inside_) return true;
    inside_ = !SetCurrentDirectoryW(saved_.c_str());
    return !inside_;
}

bool CanRead(const std::string& path, std::string& error) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText(GetLastError());
        return false;
    }
    CloseHandle(file);
    return true;
}

std::string AbsolutePath(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return path;
    full.resize(got);
    return Narrow(full);
}

std::string ResolvedPath(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    const std::size_t cut = absolute.find_last_of("\\/");
    if (cut == std::string::npos || cut + 1 >= absolute.size()) return absolute;
    const HANDLE folder = CreateFileW(Wide(absolute.substr(0, cut + 1)).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return absolute;
    std::wstring resolved(MAX_PATH * 4, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(folder, resolved.data(), static_cast<DWORD>(resolved.size()), FILE_NAME_NORMALIZED);
    CloseHandle(folder);
    if (n == 0 || n >= resolved.size()) return absolute;
    resolved.resize(n);
    // "\\?\C:\..." and "\\?\UNC\server\..." back to the forms every call takes.
    if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        resolved = L"\\\\" + resolved.substr(8);
    } else if (resolved.rfind(L"\\\\?\\", 0) == 0) {
        resolved = resolved.substr(4);
    }
    if (!resolved.empty() && resolved.back() != L'\\') resolved += L'\\';
    return Narrow(resolved) + absolute.substr(cut + 1);
}

std::string NameKey(const std::string& path) {
    std::wstring wide = Wide(AbsolutePath(path));
    if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide);
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

bool MakeFolders(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            // A drive ("C:") or a share root is not made, only passed.
            if (prefix.empty() || prefix.back() == ':' || KindOf(prefix) == TFileKind::Folder) continue;
            CreateDirectoryW(Wide(prefix).c_str(), nullptr);
        }
    }
    return KindOf(path) == TFileKind::Folder;
}

std::FILE* CreateNewFile(const std::string& path) {
    const int fd = _wopen(Wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
}

std::FILE* OpenForReading(const std::string& path) { return Open(path, L"rb"); }
std::FILE* OpenForAppending(const std::string& path) { return Open(path, L"ab"); }

bool FlushFile(std::FILE* file) { return std::fflush(file) == 0; }

std::string EnvironmentValue(const char* name) {
    const std::wstring wideName = Wide(name);
    const DWORD n = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(wideName.c_str(), value.data(), n);
    if (got == 0 || got >= n) return {};
    value.resize(got);
    return Narrow(value);
}

std::string StateFolder() {
    const std::string local = EnvironmentValue("LOCALAPPDATA");
    if (!local.empty()) return local + "\\Pelmora";
    const std::string profile = EnvironmentValue("USERPROFILE");
    if (!profile.empty()) return profile + "\\AppData\\Local\\Pelmora";
    return {};
}

std::string ProgramFolder() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
    if (n == 0 || n >= sizeof buffer / sizeof buffer[0]) return {};
    const std::string path = Narrow(std::wstring(buffer, n));
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void OpenClosedStandardStreams() {
    static constexpr DWORD kStandard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int fd = 0; fd < 3; ++fd) {
        const HANDLE handle = GetStdHandle(kStandard[fd]);
        // A handle may also stand for nothing (Wine hands one out for a closed descriptor).
        SetLastError(NO_ERROR);
        const bool closed = handle == nullptr || handle == INVALID_HANDLE_VALUE ||
                            (GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR);
        if (closed) {
            const HANDLE null = CreateFileW(L"NUL", fd == 0 ? GENERIC_READ : GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            if (null != INVALID_HANDLE_VALUE) SetStdHandle(kStandard[fd], null);
        }
        // The C runtime's descriptors too, which the journal's file would otherwise take.
        if (closed || _get_osfhandle(fd) == -1) {
            const int opened = _wopen(L"NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
            if (opened >= 0 && opened != fd) {
                _dup2(opened, fd);
                _close(opened);
            }
        }
    }
}

bool WriteOut(const std::string& text) { return WriteTo(STD_OUTPUT_HANDLE, text); }
bool WriteErr(const std::string& text) { return WriteTo(STD_ERROR_HANDLE, text); }
void IgnoreBrokenPipes() {}

bool ErrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void KillSelf() {
    constexpr UINT kKilledStatus = 137;
    TerminateProcess(GetCurrentProcess(), kKilledStatus);
    std::_Exit(EXIT_FAILURE);
}

std::string Utf8FromWide(const wchar_t* text) { return text != nullptr ? Narrow(text) : std::string(); }

TLibrary::~TLibrary() {
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

bool TLibrary::Load(const std::string& path, std::string& error) {
    // A bare name would be searched for along the system's path; a host names a file.
    const std::string file = path.find_first_of("\\/:") == std::string::npos ? ".\\" + path : path;
    // The libraries the plug-in needs come from the system and its own folder,
    // never from the current folder.
    SetDllDirectoryW(L"");
    std::string ansi;
    HMODULE module = platform::Utf8ToAnsi(file, ansi)
                         ? LoadLibraryExA(ansi.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                         : LoadLibraryExW(Wide(file).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        error = ErrorText(GetLastError());
        return false;
    }
    module_ = module;
    return true;
}

void* TLibrary::Symbol(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

}  // namespace host
