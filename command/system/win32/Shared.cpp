// Windows side of the command's text conversions and error words.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "Shared.h"

namespace host {

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

HANDLE OpenEntry(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE OpenToRead(const std::string& path) {
    return CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
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

}  // namespace host
