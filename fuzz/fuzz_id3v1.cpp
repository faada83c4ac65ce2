// Fuzz target: TID3v1::ReadTag over the input as a whole file, cleanly and
// with one failed or short read.
#include <cstdint>
#include <cstring>

#include "FuzzSource.h"
#include "ID3v1.h"

using fuzzing::FaultySource;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    fuzzing::WithFaults(file, [&](FaultySource& source) {
        TID3v1 tag;
        const bool result = tag.ReadTag(source);
        const bool clean = source.failAt == 0 && source.shortAt == 0 && !source.failSize;
        if (!result || !tag.HasTag) {
            FUZZ_CHECK(tag.Title.empty() && tag.Track == 0 && tag.GenreIndex == id3v1::kNoGenre);
            FUZZ_CHECK(tag.GenreText().empty());
        }
        if (clean) FUZZ_CHECK(result == (size >= kID3v1TagSize));
        if (result && clean) {
            FUZZ_CHECK(tag.HasTag == (std::memcmp(data + size - kID3v1TagSize, "TAG", 3) == 0));
            FUZZ_CHECK(tag.Title.size() <= 30 && tag.Comment.size() <= 30 && tag.Year.size() <= 4);
        }
    });
    return 0;
}
