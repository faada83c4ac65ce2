// The system-call floor: only the calls the job cannot do without. Open, size,
// the 10-byte tag header, the 128-byte trailer, one 3458-byte audio block where
// the tag header says the audio starts, close. No parsing beyond the tag size.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "floor_layout.h"

#include "contender.h"

const char* const kContenderUsage = "";

namespace {

using namespace floor_layout;

}  // namespace

bool ContenderSetup(int argc, char**) { return argc == 0; }

void ContenderProcess(const std::string& path, TOutcome& outcome, bool wantText) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    std::array<std::uint8_t, kHeaderSize> header{};
    std::array<std::uint8_t, kTrailerSize> trailer{};
    std::array<std::uint8_t, kBlockSize> block{};
    if (fstat(fd, &info) == 0 && pread(fd, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size())) {
        const std::int64_t size = info.st_size;
        const std::int64_t audio = TagEnd(header);
        if (size >= static_cast<std::int64_t>(kTrailerSize)) {
            (void)!pread(fd, trailer.data(), trailer.size(), size - static_cast<std::int64_t>(kTrailerSize));
        }
        (void)!pread(fd, block.data(), block.size(), audio);
        Record(outcome, audio, size, trailer, block, wantText);
    }
    close(fd);
}

void ContenderTeardown() {}
