// The system-call floor of the Windows build, run under Wine: per file the
// calls the plug-in makes as it makes them (CreateFileA for reading with
// sharing, GetFileSizeEx, ReadFile at an offset for the first 10 bytes, the
// last 128 and one 3458-byte block where the tag says the audio starts,
// CloseHandle), and nothing else. LIST holds one Windows path a line.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "contender.h"
#include "floor_layout.h"

const char* const kContenderUsage = "";

namespace {

using namespace floor_layout;
constexpr unsigned kBitsPerDword = 32;

bool ReadAt(HANDLE file, std::int64_t offset, void* buffer, DWORD count) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> kBitsPerDword);
    DWORD got = 0;
    return ReadFile(file, buffer, count, &got, &at) && got == count;
}

}  // namespace

bool ContenderSetup(int argc, char**) { return argc == 0; }

void ContenderProcess(const std::string& path, TOutcome& outcome, bool wantText) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::array<std::uint8_t, kHeaderSize> header{};
    std::array<std::uint8_t, kTrailerSize> trailer{};
    std::array<std::uint8_t, kBlockSize> block{};
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && ReadAt(file, 0, header.data(), kHeaderSize)) {
        const std::int64_t audio = TagEnd(header);
        if (size.QuadPart >= static_cast<std::int64_t>(kTrailerSize)) {
            ReadAt(file, size.QuadPart - static_cast<std::int64_t>(kTrailerSize), trailer.data(), kTrailerSize);
        }
        ReadAt(file, audio, block.data(), kBlockSize);
        Record(outcome, audio, size.QuadPart, trailer, block, wantText);
    }
    CloseHandle(file);
}

void ContenderTeardown() {}
