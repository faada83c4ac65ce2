// Fuzz target: TID3v2::ReadTag over the input as a whole file, cleanly and
// with one failed or short read.
#include <cstdint>
#include <cstring>

#include "FuzzSource.h"
#include "ID3v2.h"

using fuzzing::FaultySource;

namespace {

// A failed read leaves the reader cleared.
void CheckCleared(const TID3v2& tag) {
    FUZZ_CHECK(!tag.HasTag && tag.Version == 0 && tag.TagSize == 0 && tag.FurtherTagsSize == 0 && tag.Track == 0);
    FUZZ_CHECK(tag.Title.empty() && tag.Artist.empty() && tag.Album.empty() && tag.Picture == nullptr);
}

void CheckRead(const TID3v2& tag, std::span<const std::uint8_t> file) {
    FUZZ_CHECK(file.size() >= id3v2::kHeaderSize);
    FUZZ_CHECK(tag.HasTag == (std::memcmp(file.data(), "ID3", 3) == 0));
    FUZZ_CHECK(tag.TagSize >= 0 && static_cast<std::uint64_t>(tag.TagSize) <= file.size());
    if (!tag.HasTag) FUZZ_CHECK(tag.TagSize == 0 && tag.Version == 0 && tag.Title.empty());
    if (tag.Picture) FUZZ_CHECK(tag.Picture->Data.size() <= tag.Picture->Size);
    // Further tags stand right after the first one and end before the file does.
    FUZZ_CHECK(tag.FurtherTagsSize >= 0);
    if (tag.FurtherTagsSize > 0) {
        FUZZ_CHECK(tag.TagSize > 0 && static_cast<std::uint64_t>(tag.AudioStart()) < file.size());
        FUZZ_CHECK(std::memcmp(file.data() + tag.TagSize, "ID3", 3) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    fuzzing::WithFaults(file, [&](FaultySource& source) {
        TID3v2 tag;
        const bool clean = source.failAt == 0 && source.shortAt == 0 && !source.failSize;
        if (!tag.ReadTag(source)) {
            FUZZ_CHECK(!clean || file.size() < id3v2::kHeaderSize);
            CheckCleared(tag);
        } else if (clean) {
            CheckRead(tag, file);
        }
    });
    return 0;
}
