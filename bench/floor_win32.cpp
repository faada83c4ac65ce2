// The system-call floor of the Windows build, run under Wine: per file the
// calls the plug-in makes as it makes them (CreateFileA for reading with
// sharing, GetFileSizeEx, ReadFile at an offset for the first 10 bytes, the
// last 128 and one 3458-byte block where the tag says the audio starts,
// CloseHandle), and nothing else.
//
//   bench_floor.exe LIST      LIST: one Windows path a line
//   bench_floor.exe LIST --threads N   the files shared out among N threads
// Prints "files N ns T hits H", the time of the loop alone.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "floor_layout.h"
#include <fstream>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

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

// Whether the file begins with a tag; the bytes read are folded into hash.
bool Floor(const std::string& path, std::uint64_t& hash) {
    hash = 0xcbf29ce484222325ULL;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::array<std::uint8_t, kHeaderSize> header{};
    std::array<std::uint8_t, kTrailerSize> trailer{};
    std::array<std::uint8_t, kBlockSize> block{};
    LARGE_INTEGER size{};
    std::int64_t audio = 0;
    if (GetFileSizeEx(file, &size) && ReadAt(file, 0, header.data(), kHeaderSize)) {
        audio = TagEnd(header);
        if (size.QuadPart >= static_cast<std::int64_t>(kTrailerSize)) {
            ReadAt(file, size.QuadPart - static_cast<std::int64_t>(kTrailerSize), trailer.data(), kTrailerSize);
        }
        ReadAt(file, audio, block.data(), kBlockSize);
    }
    CloseHandle(file);
    constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    hash = (hash ^ static_cast<std::uint64_t>(audio)) * kPrime;
    hash = (hash ^ trailer[0]) * kPrime;
    hash = (hash ^ block[0]) * kPrime;
    return audio > 0;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = 1;
    if (argc == 4 && std::string(argv[2]) == "--threads") threads = static_cast<unsigned>(std::atoi(argv[3]));
    if ((argc != 2 && argc != 4) || threads == 0) {
        std::fprintf(stderr, "usage: bench_floor LIST [--threads N]\n");
        return 2;
    }
    std::vector<std::string> paths;
    std::ifstream list(argv[1]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(line);
    }
    if (!list.eof()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    LARGE_INTEGER frequency{}, start{}, stop{};
    QueryPerformanceFrequency(&frequency);
    // Summed, so that neither depends on which thread took which file.
    std::atomic<std::uint64_t> hash {0};
    std::atomic<unsigned long long> hits {0};
    std::atomic<std::size_t> next {0};
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < paths.size();) {
            std::uint64_t one = 0;
            hits += Floor(paths[i], one) ? 1 : 0;
            hash += one;
        }
    };
    QueryPerformanceCounter(&start);
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
    QueryPerformanceCounter(&stop);
    constexpr double kNsPerSecond = 1e9;
    const double ns = static_cast<double>(stop.QuadPart - start.QuadPart) * kNsPerSecond /
                      static_cast<double>(frequency.QuadPart);
    std::printf("files %zu ns %.0f hits %llu hash %016llx\n", paths.size(), ns, hits.load(),
                static_cast<unsigned long long>(hash.load()));
    return 0;
}
