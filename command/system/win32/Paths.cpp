// Windows side of paths and the working folder.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "Files.h"
#include "Paths.h"
#include "Shared.h"

namespace host {

const char kPathDelimiter = '\\';

namespace {

std::string AbsolutePath(const std::string& path) {
    const std::wstring wide = Wide(path);
    const std::wstring full = Filled([&](wchar_t* text, DWORD n) { return GetFullPathNameW(wide.c_str(), n, text, nullptr); });
    return full.empty() ? path : Narrow(full);
}

}  // namespace

TWorkingFolder::~TWorkingFolder() { Leave(); }

bool TWorkingFolder::Enter(const std::string& path, std::string& error) {
    if (saved_.empty()) saved_ = Filled([](wchar_t* text, DWORD n) { return GetCurrentDirectoryW(n, text); });
    if (!Told(!saved_.empty() && SetCurrentDirectoryW(Wide(path).c_str()) != 0, error)) return false;
    inside_ = true;
    return true;
}

bool TWorkingFolder::Leave() {
    if (!inside_) return true;
    inside_ = !SetCurrentDirectoryW(saved_.c_str());
    return !inside_;
}

std::string ResolvedPath(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    const std::size_t cut = absolute.find_last_of("\\/");
    if (cut == std::string::npos || cut + 1 >= absolute.size()) return absolute;
    const HANDLE folder = OpenEntry(Wide(absolute.substr(0, cut + 1)), FILE_READ_ATTRIBUTES);
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

std::string NameKey(std::string path) {
    std::wstring wide = Wide(AbsolutePath(path));
    if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide);
}

std::string EnvironmentValue(const char* name) {
    const std::wstring wideName = Wide(name);
    return Narrow(Filled([&](wchar_t* text, DWORD n) { return GetEnvironmentVariableW(wideName.c_str(), text, n); }));
}

std::string StateFolder() {
    const std::string local = EnvironmentValue("LOCALAPPDATA");
    if (!local.empty()) return local + "\\Pelmora";
    const std::string profile = EnvironmentValue("USERPROFILE");
    if (!profile.empty()) return profile + "\\AppData\\Local\\Pelmora";
    return {};
}

}  // namespace host
