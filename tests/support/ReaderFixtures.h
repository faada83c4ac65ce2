// Byte-exact files of ID3v2 tags as real taggers write them beyond the plain
// form: an extended-header flag without an extended header, real extended
// headers, further tags before the audio, and unsynchronisation of the whole
// tag (2.2, 2.3) and of single frames (2.4). Each is named after what it
// shows; the tests and the comparison of the two builds read the same files.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "TagWriter.h"

namespace testing_support {

// A zero after every FF, as unsynchronisation stores bytes.
Bytes Unsynchronised(const Bytes& bytes);
// The whole-tag form of 2.2 and 2.3: the bytes after the header
// unsynchronised, the header's flag 0x80 set and its size taken anew.
Bytes UnsynchronisedTag(const Bytes& tag);

// What follows each tag: 40 frames of MPEG-1 Layer III, 128 kbit/s, 44.1 kHz.
Bytes FixtureAudio();

struct TFixture {
    std::string name;  // a file name, ending ".mp3"
    Bytes bytes;
};
std::vector<TFixture> ReaderFixtures();

// Files of ../shared/testdata that real taggers wrote so ("folder/name"); the
// bare tags (".id3") need audio after them before a name shows their values.
constexpr std::array<std::string_view, 5> kSharedReaderFiles = {
    "mutagen/issue_21.id3", "taglib/duplicate_id3v2.mp3", "taglib/unsynch.id3", "taglib/unsynch24.id3",
    "mutagen/id3v23_unsynch.id3"};

}  // namespace testing_support
