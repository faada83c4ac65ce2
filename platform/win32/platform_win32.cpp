// Win32 side of the platform layer: the system's "A" file calls and the ANSI
// code page of GetACP().
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform.h"

namespace platform {

namespace {

// Other programs may go on reading and writing a file while it is analysed.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The offset of an overlapped read, split into its two 32-bit halves.
constexpr std::uint64_t kLowHalf = 0xFFFFFFFFu;
constexpr unsigned kHighHalfShift = 32;
// ReadFile takes a 32-bit count; larger reads go in pieces of 1 GiB.
constexpr DWORD kLargestRead = 0x40000000u;

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

std::wstring Widen(UINT codePage, const std::string& text, DWORD flags) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

}  // namespace

ReadOnlyFile::~ReadOnlyFile() { Close(); }

bool ReadOnlyFile::Open(const char* ansiPath) {
    Close();
    if (ansiPath == nullptr) return false;
    handle_ = CreateFileA(ansiPath, GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return IsOpen();
}

bool ReadOnlyFile::IsOpen() const { return AsHandle(handle_) != INVALID_HANDLE_VALUE; }

bool ReadOnlyFile::Size(std::int64_t& size) const {
    LARGE_INTEGER li{};
    if (!IsOpen() || !GetFileSizeEx(AsHandle(handle_), &li)) return false;
    size = li.QuadPart;
    return true;
}

bool ReadOnlyFile::ReadAt(std::int64_t offset, void* buffer, std::size_t count, std::size_t& got) {
    got = 0;
    if (!IsOpen() || offset < 0) return false;
    auto* out = static_cast<char*>(buffer);
    while (got < count) {
        // The offset travels with the read: one call instead of a seek and a read.
        OVERLAPPED at{};
        const std::uint64_t pos = static_cast<std::uint64_t>(offset) + got;
        at.Offset = static_cast<DWORD>(pos & kLowHalf);
        at.OffsetHigh = static_cast<DWORD>(pos >> kHighHalfShift);
        const std::size_t want = count - got;
        const DWORD chunk = want > kLargestRead ? kLargestRead : static_cast<DWORD>(want);
        DWORD n = 0;
        if (!ReadFile(AsHandle(handle_), out + got, chunk, &n, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return false;
        }
        if (n == 0) break;
        got += n;
    }
    return true;
}

void ReadOnlyFile::Close() {
    if (IsOpen()) {
        CloseHandle(AsHandle(handle_));
        handle_ = INVALID_HANDLE_VALUE;
    }
}

bool MoveNoReplace(const char* ansiFrom, const char* ansiTo) {
    if (ansiFrom == nullptr || ansiTo == nullptr) return false;
    if (MoveFileA(ansiFrom, ansiTo)) return true;
    // A move onto its own name changes nothing and loses nothing.
    return std::strcmp(ansiFrom, ansiTo) == 0 && GetFileAttributesA(ansiFrom) != INVALID_FILE_ATTRIBUTES;
}

bool MoveNoReplaceUtf8(const std::string& from, const std::string& to) {
    const std::wstring wideFrom = Widen(CP_UTF8, from, MB_ERR_INVALID_CHARS);
    const std::wstring wideTo = Widen(CP_UTF8, to, MB_ERR_INVALID_CHARS);
    if (wideFrom.empty() || wideTo.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    // No flags: never replace, and never copy a file to another volume.
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0)) return true;
    const DWORD error = GetLastError();
    if (from == to && GetFileAttributesW(wideFrom.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    SetLastError(error);
    return false;
}

void AppendWideUnitAnsi(std::string& text, std::uint16_t unit) {
    const wchar_t w = static_cast<wchar_t>(unit);
    char out[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &w, 1, out, sizeof out, "?", &usedDefault);
    if (n <= 0) {
        text.push_back('?');
    } else {
        text.append(out, static_cast<std::size_t>(n));
    }
}

void AppendWideUnitsAnsi(std::string& text, const std::uint16_t* units, std::size_t count) {
    // Unit by unit, as the decoders always converted: a surrogate pair stays two "?".
    for (std::size_t i = 0; i < count; ++i) AppendWideUnitAnsi(text, units[i]);
}

void ToUpperAnsi(char* text, std::size_t length) {
    if (text != nullptr && length > 0) CharUpperBuffA(text, static_cast<DWORD>(length));
}

void ToLowerAnsi(char* text, std::size_t length) {
    if (text != nullptr && length > 0) CharLowerBuffA(text, static_cast<DWORD>(length));
}

std::string AnsiToUtf8(const std::string& ansi) {
    const std::wstring wide = Widen(CP_ACP, ansi, 0);
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void AppendAnsiAsUtf8(std::string& out, std::string_view ansi) { out += AnsiToUtf8(std::string(ansi)); }

bool Utf8ToAnsi(const std::string& utf8, std::string& ansi) {
    ansi.clear();
    if (utf8.empty()) return true;
    const std::wstring wide = Widen(CP_UTF8, utf8, MB_ERR_INVALID_CHARS);
    if (wide.empty()) return false;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return false;
    ansi.assign(static_cast<std::size_t>(n), '\0');
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), ansi.data(), n, "?",
                        &usedDefault);
    return !usedDefault;
}

bool IsPathDelimiter(char c) { return c == '\\' || c == ':'; }

}  // namespace platform
