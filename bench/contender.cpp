// The timing loop around a contender: load the list, process every file once,
// report the wall time of the loop alone. "--threads N" after the list spreads
// the files over N threads (for the floor: what the disk allows at once).
#include "contender.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace {

constexpr std::uint64_t kHashSeed = 0xcbf29ce484222325ULL;

// The peak resident size of this process alone, and its user and system time
// (less disturbed than wall time when other work shares the machine).
#ifdef _WIN32
long PeakResidentKiB() {
    PROCESS_MEMORY_COUNTERS counters {};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

long long CpuNs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    constexpr long long kNsPerTick = 100;
    return (ticks(kernel) + ticks(user)) * kNsPerTick;
}
#else
// The rusage of a child started with vfork (posix_spawn) also counts the
// parent's pages, so the peak comes from /proc.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + std::strlen("VmHWM:"), nullptr, 10);
    }
    return -1;
}

long long CpuNs() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    constexpr long long kNsPerS = 1000000000, kNsPerUs = 1000;
    return (static_cast<long long>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * kNsPerS +
           (static_cast<long long>(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * kNsPerUs;
}
#endif

bool LoadList(const char* listPath, std::vector<std::string>& paths) {
    std::ifstream list(listPath);
    if (!list) return false;
    for (std::string line; std::getline(list, line);) {
#ifdef _WIN32
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a list written on Windows
#endif
        if (!line.empty()) paths.push_back(line);
    }
    return true;
}

// Every file once from threads threads, each taking the next file not yet
// taken; the outcomes folded in the list's order afterwards, so that a run's
// hash does not depend on which thread was first.
std::uint64_t ProcessInThreads(const std::vector<std::string>& paths, unsigned threads, std::uint64_t& hits,
                               std::vector<std::string>& samples) {
    std::vector<TOutcome> outcomes(paths.size());
    std::atomic<std::size_t> next {0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (std::size_t i; (i = next.fetch_add(1)) < paths.size();) {
                outcomes[i].hash = kHashSeed;
                ContenderProcess(paths[i], outcomes[i], i < kSampleCount);
            }
        });
    }
    for (std::thread& t : pool) t.join();
    std::uint64_t hash = kHashSeed;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        hash = FoldHash(hash, outcomes[i].hash);
        if (outcomes[i].hit) ++hits;
        if (i < kSampleCount) samples.push_back(outcomes[i].text);
    }
    return hash;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIST %s\n", argv[0], kContenderUsage);
        return 2;
    }
    std::vector<std::string> paths;
    if (!LoadList(argv[1], paths)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 2;
    }
    unsigned threads = 0;
    int first = 2;
    if (argc >= 4 && std::strcmp(argv[2], "--threads") == 0) {
        threads = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
        first = 4;
    }
    if (!ContenderSetup(argc - first, argv + first)) {
        std::fprintf(stderr, "usage: %s LIST %s\n", argv[0], kContenderUsage);
        return 2;
    }

    std::uint64_t hash = kHashSeed;
    std::uint64_t hits = 0;
    std::vector<std::string> samples;
    TOutcome outcome;
    const long long cpuStart = CpuNs();
    const auto start = std::chrono::steady_clock::now();
    if (threads > 0) hash = ProcessInThreads(paths, threads, hits, samples);
    for (std::size_t i = 0; threads == 0 && i < paths.size(); ++i) {
        outcome.hash = hash;
        outcome.hit = false;
        const bool wantText = i < kSampleCount;
        ContenderProcess(paths[i], outcome, wantText);
        hash = outcome.hash;
        if (outcome.hit) ++hits;
        if (wantText) samples.push_back(outcome.text);
    }
    const auto stop = std::chrono::steady_clock::now();
    const long long cpu = CpuNs() - cpuStart;
    ContenderTeardown();

    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count();
    std::printf("files %zu ns %lld hits %llu hash %016llx peak %ld cpu %lld\n", paths.size(),
                static_cast<long long>(ns), static_cast<unsigned long long>(hits), static_cast<unsigned long long>(hash),
                PeakResidentKiB(), cpu);
    for (const std::string& sample : samples) std::printf("sample: %s\n", sample.c_str());
    return 0;
}
