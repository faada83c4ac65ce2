// Windows side of loading the plug-in's library.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "Files.h"
#include "Library.h"
#include "PathText.h"
#include "Shared.h"
#include "platform.h"

namespace host {

std::string ProgramFolder() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
    if (n == 0 || n >= sizeof buffer / sizeof buffer[0]) return {};
    return ParentOf(Narrow(std::wstring(buffer, n)));  // a full path, as the system gives it
}

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
    if (!Told(module != nullptr, error)) return false;
    module_ = module;
    return true;
}

void* TLibrary::Symbol(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

}  // namespace host
