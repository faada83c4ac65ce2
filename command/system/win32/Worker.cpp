// Windows side of what worker threads need: relative paths joined to the
// first working folder (the current folder is the process's, and the run's
// thread may move it for a moment), files shared every way.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "Shared.h"
#include "Worker.h"

namespace host {

namespace {

bool IsDelimiter(wchar_t c) { return c == L'\\' || c == L'/'; }

// The path a worker opens: absolute ones as they are, relative ones from the
// base. Empty for a path relative to another drive's own current folder
// ("D:name"), which only the process's state could tell.
std::wstring WorkerPath(const std::wstring& base, const std::wstring& path) {
    if (path.size() >= 2 && IsDelimiter(path[0]) && IsDelimiter(path[1])) return path;  // a share or a device
    if (path.size() >= 2 && path[1] == L':') return path.size() >= 3 && IsDelimiter(path[2]) ? path : std::wstring();
    if (base.empty()) return {};
    if (!path.empty() && IsDelimiter(path[0])) {
        // From the root of the base's drive (or share: "\\server\share").
        if (base.size() >= 2 && base[1] == L':') return base.substr(0, 2) + path;
        return {};
    }
    return IsDelimiter(base.back()) ? base + path : base + L'\\' + path;
}

}  // namespace

TBaseFolder::TBaseFolder() : path_(Filled([](wchar_t* text, DWORD n) { return GetCurrentDirectoryW(n, text); })) {}

TBaseFolder::~TBaseFolder() = default;

bool TWorkerFile::Open(const TBaseFolder& base, const std::string& path) {
    Close();
    const std::wstring full = WorkerPath(base.path_, Wide(path));
    if (full.empty()) return false;
    const HANDLE file = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size {};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return false;
    }
    handle_ = file;
    size_ = size.QuadPart;
    return true;
}

std::size_t TWorkerFile::ReadAt(std::int64_t offset, char* buffer, std::size_t count) {
    if (handle_ == nullptr || offset < 0) return 0;
    std::size_t got = 0;
    while (got < count) {
        constexpr unsigned kHighShift = 32;
        const auto at = static_cast<std::uint64_t>(offset) + got;
        OVERLAPPED where {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> kHighShift);
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(count - got);
        if (!ReadFile(static_cast<HANDLE>(handle_), buffer + got, want, &n, &where) || n == 0) break;
        got += n;
    }
    return got;
}

bool TWorkerFile::InCache(std::int64_t, char*, std::size_t) { return false; }

void TWorkerFile::Close() {
    if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    size_ = 0;
}

TSignalsHeld::TSignalsHeld() = default;
TSignalsHeld::~TSignalsHeld() = default;

void LowerThreadPriority() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

}  // namespace host
