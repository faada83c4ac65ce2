// PLACEHOLDER: being written.
#include "ID3v1.h"
#include "FileSource.h"
const std::array<std::string_view, kGenreCount> GenreNames{};
const std::array<std::string_view, 2> ID3v1VersionNames{"ID3v1.0", "ID3v1.1"};
TID3v1::TID3v1() { Clear(); }
void TID3v1::Clear() { HasTag = false; Version = 1; Title.clear(); Artist.clear(); Album.clear(); Year.clear(); Comment.clear(); Track = 0; GenreIndex = 255; }
bool TID3v1::ReadTag(const char* path) { TFileSource s; if (!s.Open(path)) { Clear(); return false; } return ReadTag(s); }
bool TID3v1::ReadTag(TByteSource&) { Clear(); return false; }
std::string TID3v1::GenreText() const { return GenreIndex < kGenreCount ? std::string(GenreNames[GenreIndex]) : std::string(); }
