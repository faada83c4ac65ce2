// The ID3v1 reader: the fixed 128-byte tag at the end of a file (versions 1.0
// and 1.1), and the list of the 148 genre names its genre byte indexes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class TByteSource;

constexpr std::size_t kID3v1TagSize = 128;
constexpr std::size_t kGenreCount = 148;

extern const std::array<std::string_view, kGenreCount> GenreNames;
extern const std::array<std::string_view, 2> ID3v1VersionNames;

namespace id3v1 {

constexpr std::uint8_t kVersion10 = 1;
constexpr std::uint8_t kVersion11 = 2;
constexpr std::uint8_t kNoGenre = 255;  // the index left by Clear: no genre

}  // namespace id3v1

class TID3v1 {
public:
    TID3v1();

    void Clear();
    // True when the file's last 128 bytes could be read, tag or not.
    bool ReadTag(const char* path);
    bool ReadTag(TByteSource& source);
    // The genre name, empty for an index of 148 or more.
    std::string GenreText() const;

    bool HasTag;
    std::uint8_t Version;  // 1 = ID3v1.0, 2 = ID3v1.1
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::uint8_t Track;
    std::uint8_t GenreIndex;
};
