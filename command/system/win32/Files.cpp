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

}  // namespace

bool IdentityOf(const std::string& path, TFileId& id) {
    id = TFileId {};
    // Attributes only: a file another program holds open can still be examined.
    const HANDLE file = OpenEntry(Wide(path), FILE_READ_ATTRIBUTES);
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
        const HANDLE target = OpenEntry(wide, 0);
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
        // An empty drive root opens and lists nothing.
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;
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
    const DWORD end = GetLastError();
    FindClose(search);
    if (end != ERROR_NO_MORE_FILES) {
        error = ErrorText(end);
        return false;
    }
    return true;
}

bool CanChangeFolder(const std::string& path, std::string& error) {
    // Asking for the rights to add and remove entries checks them, as the move would.
    const HANDLE folder = OpenEntry(Wide(path), FILE_ADD_FILE | FILE_DELETE_CHILD);
    if (!Told(folder != INVALID_HANDLE_VALUE, error)) return false;
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
    const HANDLE file = OpenToRead(path);
    if (!Told(file != INVALID_HANDLE_VALUE, error)) return false;
    CloseHandle(file);
    return true;
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

}  // namespace host
