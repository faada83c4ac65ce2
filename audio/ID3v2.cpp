// PLACEHOLDER: being written.
#include "ID3v2.h"
#include "FileSource.h"
const std::array<std::string_view, 3> ID3v2VersionNames{"ID3v2.2", "ID3v2.3", "ID3v2.4"};
TID3v2::TID3v2() { Clear(); }
void TID3v2::Clear() { HasTag = false; Version = 0; TagSize = 0; Title.clear(); Artist.clear(); Album.clear(); Track = 0; Year.clear(); Genre.clear(); Comment.clear(); Composer.clear(); Encoder.clear(); Copyright.clear(); Language.clear(); Link.clear(); OriginalArtist.clear(); Lyrics.clear(); Picture.reset(); }
bool TID3v2::ReadTag(const char* path) { TFileSource s; if (!s.Open(path)) { Clear(); return false; } return ReadTag(s); }
bool TID3v2::ReadTag(TByteSource&) { Clear(); return false; }
