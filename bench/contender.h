// The frame shared by the three contenders: each one is a small program that
// reads a list of paths, does its job on every file once, and prints how long
// the loop took. The runner starts each contender in its own process so that
// its peak memory is its own.
//
// Output, one line: "files N ns T hits H hash X peak KIB cpu C" followed by a
// "sample: TEXT" line for each of the first few files, so the runner can show
// that real work was done.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What one contender made of one file.
struct TOutcome {
    std::uint64_t hash = 0;  // folded over everything the contender read
    bool hit = false;        // the contender found what it looks for (a name, a tag)
    std::string text;        // a readable summary, asked for the first few files only
};

// Implemented by each contender. Setup gets the arguments after the list file;
// false ends the program with a usage message.
bool ContenderSetup(int argc, char** argv);
void ContenderProcess(const std::string& path, TOutcome& outcome, bool wantText);
void ContenderTeardown();
extern const char* const kContenderUsage;

constexpr std::size_t kSampleCount = 3;

// FNV-1a, enough to keep the compiler from dropping work and to compare runs.
inline std::uint64_t FoldHash(std::uint64_t hash, std::string_view bytes) {
    constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    for (unsigned char c : bytes) hash = (hash ^ c) * kPrime;
    return hash;
}
inline std::uint64_t FoldHash(std::uint64_t hash, std::uint64_t value) {
    return FoldHash(hash, std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
}
