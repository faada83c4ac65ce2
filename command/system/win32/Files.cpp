// Windows side of files and folders: UTF-8 in, UTF-16 to the system, so every
// name on disk can be listed, whatever the ANSI code page holds.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <utility>

#include "Files.h"
#include "Shared.h"

namespace host {

namespace {

bool IsNotFound(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

TFileKind KindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TFileKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return TFileKind::Other;
    return TFileKind::File;
}

TFileKind KindOf(const std::string& path) {
    // CreateFileW follows links, as the plug-in's open does.
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? TFileKind::Missing : KindOfAttributes(attributes);
}

// Hands each entry of a folder but "." and ".." to each, with its attributes;
// false with the reason when the folder cannot be opened (an empty drive root
// opens and lists nothing). end is the code the listing stopped on:
// ERROR_NO_MORE_FILES when it ran to the end.
template <typename Each>
bool ListFound(const std::string& path, std::string& error, DWORD& end, Each each) {
    end = ERROR_NO_MORE_FILES;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;
        error = ErrorText(code);
        return false;
    }
    do {
        std::string name = Narrow(found.cFileName);
        if (name != "." && name != "..") each(std::move(name), found.dwFileAttributes);
    } while (FindNextFileW(search, &found));
    end = GetLastError();
    FindClose(search);
    return true;
}

}  // namespace

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

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error) {
    names.clear();
    // Only a folder that cannot be opened fails here; a listing cut short does in ListFolderEntries.
    DWORD end = 0;
    return ListFound(path, error, end, [&](std::string name, DWORD) { names.push_back(std::move(name)); });
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
    DWORD end = 0;
    if (!ListFound(path, error, end, [&](std::string name, DWORD attributes) {
            TFolderEntry e;
            e.name = std::move(name);
            e.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            e.kind = KindOfAttributes(attributes);
            e.known = !e.link;
            entries.push_back(std::move(e));
        })) {
        return false;
    }
    if (end != ERROR_NO_MORE_FILES) {
        error = ErrorText(end);
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

std::string LastErrorText() { return ErrorText(GetLastError()); }

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

bool MakeFolders(const std::string& path, std::string& error) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            const std::string prefix = path.substr(0, i);
            // A drive ("C:") or a share root is not made, only passed.
            if (prefix.empty() || prefix.back() == ':' || KindOf(prefix) == TFileKind::Folder) continue;
            if (!CreateDirectoryW(Wide(prefix).c_str(), nullptr)) {
                // Something other than a folder stands there.
                const DWORD code = GetLastError();
                error = code == ERROR_ALREADY_EXISTS ? std::string("Not a directory") : ErrorText(code);
                return false;
            }
        }
    }
    if (KindOf(path) == TFileKind::Folder) return true;
    error = "Not a directory";
    return false;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
    text.clear();
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText(GetLastError());
        return false;
    }
    bool ok = GetFileType(file) == FILE_TYPE_DISK;
    if (!ok) error = "not a regular file";
    char chunk[65536];
    for (DWORD got = 0; ok && (ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0) && got > 0;) {
        text.append(chunk, got);
    }
    if (!ok && error.empty()) error = ErrorText(GetLastError());
    CloseHandle(file);
    return ok;
}

namespace {

HANDLE OpenToWrite(const std::string& path, DWORD disposition) {
    return CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool SetEnd(HANDLE file, std::uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

}  // namespace

bool TAppendFile::Create(const std::string& path, std::string& error) {
    Close();
    const HANDLE file = OpenToWrite(path, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText(GetLastError());
        return false;
    }
    handle_ = file;
    size_ = 0;
    return true;
}

bool TAppendFile::Open(const std::string& path, std::string& error) {
    Close();
    if (KindOf(path) != TFileKind::File) {
        error = "not a regular file";
        return false;
    }
    const HANDLE file = OpenToWrite(path, OPEN_EXISTING);
    LARGE_INTEGER size {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        error = ErrorText(GetLastError());
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return false;
    }
    handle_ = file;
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool TAppendFile::IsOpen() const { return handle_ != nullptr; }

bool TAppendFile::Append(const std::string& text, std::string& error) {
    if (handle_ == nullptr) {
        error = ErrorText(ERROR_INVALID_HANDLE);
        return false;
    }
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size_);
    std::size_t done = 0;
    bool ok = SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) != 0;
    while (ok && done < text.size()) {
        DWORD written = 0;
        ok = WriteFile(handle_, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) &&
             written > 0;
        done += written;
    }
    if (!ok) {
        const DWORD code = GetLastError();
        error = ErrorText(code == NO_ERROR ? ERROR_DISK_FULL : code);
        // What was written of it goes again: a line is whole or absent.
        if (done > 0) SetEnd(handle_, size_);
        return false;
    }
    size_ += done;
    return true;
}

bool TAppendFile::CutTo(std::uint64_t size, std::string& error) {
    if (handle_ == nullptr || !SetEnd(handle_, size)) {
        error = ErrorText(handle_ == nullptr ? ERROR_INVALID_HANDLE : GetLastError());
        return false;
    }
    size_ = size;
    return true;
}

void TAppendFile::Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
}

namespace {

// The byte that is locked lies far past the note, which the others read.
constexpr DWORD kLockedByteHigh = 1;

}  // namespace

TLockFile::~TLockFile() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

TLockFile::TResult TLockFile::Take(const std::string& path, const std::string& note, std::string& text) {
    if (handle_ == nullptr) {
        const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            text = ErrorText(GetLastError());
            return TResult::Failed;
        }
        handle_ = file;
    }
    OVERLAPPED at {};
    at.OffsetHigh = kLockedByteHigh;
    if (!LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD code = GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
            text = ErrorText(code);
            return TResult::Failed;
        }
        char buffer[512];
        DWORD got = 0;
        OVERLAPPED start {};
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, &start)) got = 0;
        text.assign(buffer, got);
        return TResult::Busy;
    }
    // The note is only for the others' message: a failure to write it costs nothing.
    DWORD written = 0;
    OVERLAPPED start {};
    if (SetEnd(handle_, 0)) WriteFile(handle_, note.data(), static_cast<DWORD>(note.size()), &written, &start);
    return TResult::Taken;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

}  // namespace host
