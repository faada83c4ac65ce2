// The ID3v2 reader over byte-exact tags: header and tag size, the frame walks
// of 2.2, 2.3 and 2.4, slot rules, text decoding, reads that fail part way.
#include "ID3v2.h"

#include <gtest/gtest.h>

#include <tuple>
#include <map>

#include "FaultySource.h"
#include "FileSource.h"
#include "PluginTest.h"
#include "ReaderFixtures.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;
using namespace std::string_literals;

namespace {

constexpr std::uint8_t kV22 = 2;
constexpr std::uint8_t kV23 = 3;
constexpr std::uint8_t kV24 = 4;

// "Привет" as the ANSI code page shows it, and in UTF-8.
const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2";
const Bytes kPrivetUtf8 = Latin(Utf8(u"Привет"));

// The fields that are not empty (Track not 0), by name.
using Want = std::map<std::string, std::string>;
Want Fields(const TID3v2& t) {
    Want all = {{"Title", t.Title},         {"Artist", t.Artist},
                {"Album", t.Album},         {"Track", t.Track != 0 ? std::to_string(t.Track) : ""},
                {"Year", t.Year},           {"Genre", t.Genre},
                {"Comment", t.Comment},     {"Composer", t.Composer},
                {"Encoder", t.Encoder},     {"Copyright", t.Copyright},
                {"Language", t.Language},   {"Link", t.Link},
                {"OriginalArtist", t.OriginalArtist}, {"Lyrics", t.Lyrics}};
    std::erase_if(all, [](const auto& field) { return field.second.empty(); });
    return all;
}

// A tag followed by a little audio, so the file is longer than the tag.
Bytes WithAudio(const Bytes& tag) {
    Bytes file = tag;
    file.insert(file.end(), 64, 0xFF);
    return file;
}

// One text frame and a little audio.
Bytes Tagged(std::uint8_t version, std::string_view id, std::uint8_t encoding, const Bytes& text) {
    return WithAudio(ID3v2Writer(version).Text(id, encoding, text).Build());
}

TID3v2 Read(const Bytes& file, bool* result = nullptr) {
    TID3v2 tag;
    FaultySource source(file);
    const bool ok = tag.ReadTag(source);
    if (result != nullptr) *result = ok;
    return tag;
}

// The reader's tag of one frame of the given id and data (a 2.3 tag unless told).
TID3v2 ReadFrame(std::string_view id, const Bytes& data, std::uint8_t version = kV23) {
    return Read(WithAudio(ID3v2Writer(version).Frame(id, data).Build()));
}

struct FieldCase {
    const char* name;
    Bytes file;
    Want want;
};

void RunFieldCases(const std::vector<FieldCase>& cases) {
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = false;
        const TID3v2 tag = Read(c.file, &ok);
        ASSERT_TRUE(ok);
        EXPECT_TRUE(tag.HasTag);
        EXPECT_EQ(Fields(tag), c.want);
    }
}

// Each read starts from nothing, whatever the one before it left.
TEST(ID3v2Header, ResultTagSizeAndVersion) {
    struct Case {
        const char* name;
        Bytes file;
        bool result, hasTag;
        int version;
        std::int32_t tagSize;
        bool framesRead, failSize = false;
    };
    const Bytes title = ID3v2Writer(kV23).Text("TIT2", "Song").Build();
    auto sized = [](std::uint8_t version, std::uint8_t flags, Bytes size, std::size_t fileSize) {
        Bytes file = ID3v2Writer(version, flags).Text("TIT2", "Song").SizeField(size).Build();
        file.resize(fileSize, 0);
        return file;
    };
    const Case cases[] = {
        {"9 bytes", Bytes(title.begin(), title.begin() + 9), false, false, 0, 0, false},
        {"empty file", {}, false, false, 0, 0, false},
        {"size fails", WithAudio(title), false, false, 0, 0, false, true},
        {"no tag", Bytes(500, 0xFF), true, false, 0, 0, false},
        {"10 bytes without marker", Latin("RIFF\3\0\0\0\0\0"s), true, false, 0, 0, false},
        {"lower-case marker", Concat({Latin("id3"), Bytes(title.begin() + 3, title.end())}), true, false, 0, 0, false},
        {"a tag", WithAudio(title), true, true, 3, static_cast<std::int32_t>(title.size()), true},
        {"version 5", sized(5, 0, {0, 0, 0, 15}, 100), true, true, 5, 25, false},
        {"version 1", sized(1, 0, {0, 0, 0, 15}, 100), true, true, 1, 25, false},
        {"size 00 00 02 01", sized(kV23, 0, {0, 0, 2, 1}, 300), true, true, 3, 267, true},
        {"footer flag adds 10", sized(kV24, 0x10, {0, 0, 2, 1}, 300), true, true, 4, 277, true},
        {"beyond the file", sized(kV23, 0, {0, 0, 2, 1}, 200), true, true, 3, 0, false},
        {"footer pushes it beyond", sized(kV23, 0x10, {0, 0, 2, 1}, 276), true, true, 3, 0, false},
        {"equal to the file", sized(kV23, 0x10, {0, 0, 2, 1}, 277), true, true, 3, 277, true},
        {"size byte taken whole", sized(kV23, 0, {0, 0, 0, 0x80}, 300), true, true, 3, 138, true},
        {"all size bytes high", sized(kV23, 0, {0xFF, 0xFF, 0xFF, 0xFF}, 300), true, true, 3, 0, false},
    };
    const Bytes full = WithAudio(
        ID3v2Writer(kV23).Text("TIT2", "T").Text("TPE1", "A").Text("TRCK", "3").Frame("APIC", Bytes(20, 1)).Build());
    for (const Case& c : cases) {
        TID3v2 tag;
        FaultySource before(full);
        ASSERT_TRUE(tag.ReadTag(before) && tag.Picture);
        FaultySource source(c.file);
        source.failSize = c.failSize;
        EXPECT_EQ(tag.ReadTag(source), c.result) << c.name;
        EXPECT_EQ(std::make_tuple(tag.HasTag, int{tag.Version}, tag.TagSize),
                  std::make_tuple(c.hasTag, c.version, c.tagSize)) << c.name;
        EXPECT_EQ(Fields(tag), (c.framesRead ? Want{{"Title", "Song"}} : Want{})) << c.name;
        // A picture object exists exactly when the frames were walked.
        EXPECT_EQ(tag.Picture != nullptr, c.framesRead) << c.name;
    }
    // By path, under a Cyrillic name (files that cannot be opened: the ID3v1 tests).
    TempDir dir;
    TID3v2 tag;
    ASSERT_TRUE(tag.ReadTag(dir.Write("\xD2\xE5\xF1\xF2.mp3", Tagged(kV24, "TIT2", 3, kPrivetUtf8)).c_str()));
    EXPECT_EQ(tag.Title, kPrivet);
}

// The slots of a 2.2 and a 2.3 walk, and where a walk stops quietly keeping what it has.
TEST(ID3v2Frames, SlotsFallbacksAndStops) {
    const Bytes first = ID3v2Writer(kV23).Text("TIT2", "Title").Build();
    const Bytes body(first.begin() + id3v2::kHeaderSize, first.end());
    auto tag = [&](const Bytes& rest, std::size_t padding = 0) {
        return ID3v2Writer(kV23).Raw(body).Raw(rest).Padding(padding).Build();
    };
    const Bytes artist = Concat({Latin("TPE1"), BigEndian(7, 4), {0, 0, 0}, Latin("Artist")});
    const Bytes v22 = WithAudio(ID3v2Writer(kV22).Text("TT2", "Title").Text("TP1", "Artist").Text("TAL", "Album")
                                    .Text("TRK", "03/11").Text("TYE", "2004").Text("TCO", "(12)")
                                    .Frame("COM", CommentData(0, Latin("d"), Latin("Comment")))
                                    .Text("TCM", "Composer").Text("TEN", "Encoder").Text("TCR", "Copyright")
                                    .Text("TLA", "eng").Frame("WXX", Concat({{0}, {0}, Latin("http://y")}))
                                    .Text("TOA", "Original")
                                    .Frame("ULT", CommentData(0, Latin(""), Latin("Lyrics")))
                                    .Frame("PIC", Concat({{0}, Latin("JPG"), Bytes(40, 7)})).Build());
    const Bytes fallbacks = WithAudio(ID3v2Writer(kV22).Text("TT1", "Group").Text("TOT", "Original album")
                                          .Text("TOA", "Original").Text("TOR", "1987").Build());
    // Only the first 500 bytes of a frame are kept; the walk goes on after all of it.
    const Bytes longFrame =
        WithAudio(ID3v2Writer(kV22).Text("TT2", std::string(700, 'x')).Text("TP1", "Artist").Build());
    // The 500-byte block holds 249 whole 16-bit units; its last byte is no character.
    Bytes units;
    for (int i = 0; i < 300; ++i) units.insert(units.end(), {'A', 0});
    const Bytes wideFrame = Tagged(kV22, "TT2", 1, units);
    RunFieldCases({
        {"every slot",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", "Title").Text("TPE1", "Artist").Text("TALB", "Album")
                       .Text("TRCK", "7/9").Text("TYER", "1999").Text("TCON", "(17)Rock")
                       .Frame("COMM", CommentData(0, Latin("desc"), Latin("Comment")))
                       .Text("TCOM", "Composer").Text("TENC", "Encoder").Text("TCOP", "Copyright").Text("TLAN", "rus")
                       .Frame("WXXX", Concat({{0}, Latin("home"), {0}, Latin("http://x")}))
                       .Text("TDRC", "2004").Text("TOPE", "Original").Text("TIT1", "Group")
                       .Text("TOAL", "Original album")
                       .Frame("USLT", CommentData(0, Latin(""), Latin("La la"))).Build()),
         {{"Title", "Title"}, {"Artist", "Artist"}, {"Album", "Album"}, {"Track", "7"}, {"Year", "1999"},
          {"Genre", "Rock"}, {"Comment", "Comment"}, {"Composer", "Composer"}, {"Encoder", "Encoder"},
          {"Copyright", "Copyright"}, {"Language", "rus"}, {"Link", "http://x"}, {"OriginalArtist", "Original"},
          {"Lyrics", "La la"}}},
        {"second choices",
         WithAudio(ID3v2Writer(kV23).Text("TIT1", "Group").Text("TOPE", "Original")
                       .Text("TOAL", "Original album").Text("TDRC", "2004-05-06").Build()),
         {{"Title", "Group"}, {"Artist", "Original"}, {"OriginalArtist", "Original"}, {"Album", "Original album"},
          {"Year", "2004"}}},
        {"blank first choice falls back",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", " \t ").Text("TIT1", "Group").Text("TDRC", "99").Build()),
         {{"Title", "Group"}, {"Year", "99"}}},
        {"the last occurrence wins",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", "First").Text("TIT2", "Second").Build()),
         {{"Title", "Second"}}},
        {"an unknown encoding leaves the slot alone",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", "Kept").Text("TIT2", 4, Latin("Other")).Build()),
         {{"Title", "Kept"}}},
        {"an unknown encoding alone is no title",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", 0xFF, Latin("Other")).Text("TIT1", "Group").Build()),
         {{"Title", "Group"}}},
        {"an empty frame replaces an earlier one",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", "Gone").Frame("TIT2", {}).Text("TIT1", "Group").Build()),
         {{"Title", "Group"}}},
        {"the last comment wins whatever its description",
         WithAudio(ID3v2Writer(kV23).Frame("COMM", CommentData(0, Latin(""), Latin("First")))
                       .Frame("COMM", CommentData(1, Utf16LE(u"iTunNORM", true), Utf16LE(u"Second", true)))
                       .Frame("COMM", CommentData(5, Latin(""), Latin("Third"))).Build()),
         {{"Comment", "Second"}}},
        {"inner zero bytes stay", Tagged(kV23, "TIT2", 0, Latin(std::string("\0 A\0B \0", 7))),
         {{"Title", std::string("A\0B", 3)}}},
        {"8-bit text is taken as stored", Tagged(kV23, "TPE1", 0, Latin("\xC0\xF0\xF2\xE8\xF1\xF2")),
         {{"Artist", "\xC0\xF0\xF2\xE8\xF1\xF2"}}},
        {"frame sizes of 2.3 are plain numbers",
         WithAudio(ID3v2Writer(kV23).Text("TIT2", std::string(255, 'x')).Text("TPE1", "Artist").Build()),
         {{"Title", std::string(255, 'x')}, {"Artist", "Artist"}}},
        {"frames of other ids are stepped over",
         WithAudio(ID3v2Writer(kV23).Frame("TXXX", Concat({{0}, Latin("TIT2"), {0}, Latin("x")}))
                       .Frame("PRIV", Bytes(300, 'Z')).Text("TIT2", "Title").Build()),
         {{"Title", "Title"}}},
        {"ids compare exactly",
         WithAudio(ID3v2Writer(kV23).Text("TIT3", "x").Text("TIT2", "Title").Build()),
         {{"Title", "Title"}}},
        {"a footer ends the walk", WithAudio(ID3v2Writer(kV24, 0x10).Text("TIT2", "Title").Build()),
         {{"Title", "Title"}}},
        {"frame data may run past the tag size",
         WithAudio(ID3v2Writer(kV23).RawFrame("TIT2", BigEndian(6, 4), Latin("\0Ti"s)).SizeField(Syncsafe(13))
                       .Raw(Latin("tle")).Build()),
         {{"Title", "Title"}}},
        {"a zero byte where an id begins", WithAudio(tag(Concat({{0}, artist}))), {{"Title", "Title"}}},
        {"a lower-case id", WithAudio(tag(Concat({Latin("tpe1"), BigEndian(2, 4), {0, 0, 0}, Latin("x"), artist}))),
         {{"Title", "Title"}}},
        {"a digit first", WithAudio(tag(Concat({Latin("1PE1"), BigEndian(2, 4), {0, 0, 0}, Latin("x"), artist}))),
         {{"Title", "Title"}}},
        {"the file ends inside a frame header", tag(Bytes(artist.begin(), artist.begin() + 9)), {{"Title", "Title"}}},
        {"the file ends inside frame data", tag(Bytes(artist.begin(), artist.end() - 1)), {{"Title", "Title"}}},
        {"a frame claiming 4 GB",
         WithAudio(tag(Concat({Latin("TPE1"), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, Latin("\0Artist"s)}))),
         {{"Title", "Title"}}},
        {"an unknown frame longer than the file",
         WithAudio(tag(Concat({Latin("TXXX"), BigEndian(0x7FFFFFF0, 4), {0, 0}, artist}))),
         {{"Title", "Title"}}},
        {"2.2, every slot", v22,
         {{"Title", "Title"}, {"Artist", "Artist"}, {"Album", "Album"}, {"Track", "3"}, {"Year", "2004"},
          {"Comment", "Comment"}, {"Composer", "Composer"}, {"Encoder", "Encoder"},
          {"Copyright", "Copyright"}, {"Language", "eng"}, {"Link", "http://y"}, {"OriginalArtist", "Original"}}},
        {"2.2, second choices", fallbacks,
         {{"Title", "Group"}, {"Artist", "Original"}, {"OriginalArtist", "Original"}, {"Album", "Original album"},
          {"Year", "1987"}}},
        {"2.2, a long frame", longFrame, {{"Title", std::string(499, 'x')}, {"Artist", "Artist"}}},
        {"2.2, 16-bit text in a full block", wideFrame, {{"Title", std::string(249, 'A')}}},
    });
    const TID3v2 read = Read(v22);
    ASSERT_TRUE(read.Picture);  // 2.2 has no picture slot: an empty picture
    EXPECT_EQ(read.Picture->Size, 0u);
    EXPECT_TRUE(read.Picture->Data.empty());
}

// Where frames begin (after an extended header, when there is one) and where
// a 2.4 frame of either size reading ends.
TEST(ID3v2Frames, ExtendedHeadersAndVersion24FrameSizes) {
    // A syncsafe 128 that a plain reading would take for 256.
    const Bytes syncsafe128 =
        WithAudio(ID3v2Writer(kV24).Text("TIT2", std::string(127, 'x')).Text("TPE1", "Artist").Padding(300).Build());
    // A writer that stores plain sizes: 256 bytes whose syncsafe reading (128)
    // lands inside the data.
    const Bytes plain256 = WithAudio(ID3v2Writer(kV24)
                                         .RawFrame("TIT2", {0, 0, 1, 0}, Concat({{0}, Latin(std::string(255, 'x'))}))
                                         .RawFrame("TPE1", {0, 0, 0, 7}, Latin("\0Artist"s)).Padding(20).Build());
    // Plain sizes with a byte above 127 can only be plain.
    const Bytes plain200 = WithAudio(ID3v2Writer(kV24)
                                         .RawFrame("TIT2", {0, 0, 0, 200}, Concat({{0}, Latin(std::string(199, 'y'))}))
                                         .RawFrame("TPE1", {0, 0, 0, 7}, Latin("\0Artist"s)).Build());
    // Both readings land on a boundary: the syncsafe one is taken.
    const Bytes bothBoundaries =
        WithAudio(ID3v2Writer(kV24).RawFrame("TIT2", {0, 0, 1, 0},
                                Concat({{0}, Latin(std::string(127, 'x')), {0}, Latin(std::string(127, 'x'))}))
                      .RawFrame("TPE1", {0, 0, 0, 7}, Latin("\0Artist"s)).Build());
    // The plain reading lands two bytes before the end of the file, on "AB":
    // four bytes are needed to see a frame id, so only the syncsafe reading
    // (onto a frame of unknown id "Txyz", then the artist) is a boundary.
    auto shortTail = [](const std::string& tail) {
        return ID3v2Writer(kV24).RawFrame("TIT2", {0, 0, 1, 0}, Concat({{0}, Latin("Title"), Bytes(122, 0)}))
            .RawFrame("Txyz", {0, 0, 0, 0}, {}).RawFrame("TPE1", {0, 0, 0, 7}, Latin("\0Artist"s))
            .Raw(Latin(std::string(256 - 128 - 10 - 17, 'q'))).Raw(Latin(tail)).Build();
    };
    // With four, the plain reading wins: the title is all 256 bytes, the
    // frames inside them included.
    const Bytes fourBytes = shortTail("ABCD");
    const auto data = fourBytes.begin() + 2 * id3v2::kHeaderSize;
    auto with = [](std::uint8_t version, const Bytes& extended) {
        return WithAudio(ID3v2Writer(version, 0x40).ExtendedHeader(extended).Text("TIT2", "Title").Build());
    };
    // A 2.4 extended header size with a byte above 127, taken whole as the tag size is.
    const Bytes wholeSize = WithAudio(ID3v2Writer(kV24, 0x40).Raw({0, 0, 0, 0x86})
                                          .Raw(Concat({{1, 0}, Bytes(128, 0)})).Text("TIT2", "Title")
                                          .Build());
    const Bytes beyondTag = WithAudio(ID3v2Writer(kV23, 0x40).Raw({0, 0, 1, 0}).Text("TIT2", "Title").Build());
    const Bytes cutShort = ID3v2Writer(kV23, 0x40).Raw({0, 0}).Build();
    // In 2.2 the same flag means compression; the walk starts at byte 10.
    const Bytes v22 = WithAudio(ID3v2Writer(kV22, 0x40).Text("TT2", "Title").Build());
    // The flag set without an extended header: the four bytes at 10 are a frame id.
    auto flagOnly = [](std::uint8_t version, std::string_view firstId) {
        return ID3v2Writer(version, 0x40).Text(firstId, 1, Utf16LE(u"x", true)).Text("TIT2", "Title").Build();
    };
    RunFieldCases({
        {"syncsafe size", syncsafe128, {{"Title", std::string(127, 'x')}, {"Artist", "Artist"}}},
        {"plain size under 0x80 bytes", plain256, {{"Title", std::string(255, 'x')}, {"Artist", "Artist"}}},
        {"plain size with a high byte", plain200, {{"Title", std::string(199, 'y')}, {"Artist", "Artist"}}},
        {"both readings on a boundary", bothBoundaries, {{"Title", std::string(127, 'x')}}},
        {"two bytes are no frame id", shortTail("AB"), {{"Title", "Title"}, {"Artist", "Artist"}}},
        {"four bytes are", fourBytes, {{"Title", std::string(data + 1, data + 256)}}},
        {"2.4 flag, no header", WithAudio(flagOnly(kV24, "TIT2")), {{"Title", "Title"}}},
        {"2.3 flag, no header", WithAudio(flagOnly(kV23, "TALB")), {{"Title", "Title"}, {"Album", "x"}}},
        {"digits belong to ids", WithAudio(flagOnly(kV23, "XY09")), {{"Title", "Title"}}},
        {"a lower-case letter is a size", WithAudio(flagOnly(kV24, "TiT2")), {}},
        {"the resynchronised bytes of 2.3", WithAudio(UnsynchronisedTag(flagOnly(kV23, "TALB"))),
         {{"Title", "Title"}, {"Album", "x"}}},
        {"2.3, 6 bytes", with(kV23, {0, 0, 0, 0, 0, 0}), {{"Title", "Title"}}},
        {"2.3 with CRC, 10 bytes", with(kV23, {0x80, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}), {{"Title", "Title"}}},
        {"2.4, 6 bytes with its size field", with(kV24, {1, 0}), {{"Title", "Title"}}},
        {"2.4 with restrictions", with(kV24, {1, 0x10, 1, 0x55}), {{"Title", "Title"}}},
        {"2.4 size byte taken whole", wholeSize, {{"Title", "Title"}}},
        {"start beyond the tag", beyondTag, {}},
        {"size field cut by the end of the file", cutShort, {}},
        {"2.2 flag 0x40", v22, {{"Title", "Title"}}},
    });
}

TEST(ID3v2Text, Encodings) {
    auto utf8 = [](std::string_view bytes) { return Tagged(kV24, "TIT2", 3, Latin(bytes)); };
    RunFieldCases({
        {"a 16-bit title: FF FE 41 00 42 00 00 00",
         WithAudio(ID3v2Writer(kV23).Frame("TIT2", {1, 0xFF, 0xFE, 0x41, 0, 0x42, 0, 0, 0}).Build()),
         {{"Title", "AB"}}},
        {"little-endian without a mark", Tagged(kV23, "TIT2", 1, Utf16LE(u"Привет")), {{"Title", kPrivet}}},
        {"big-endian mark in encoding 1", Tagged(kV23, "TIT2", 1, Utf16BE(u"Привет", true)), {{"Title", kPrivet}}},
        {"encoding 2 without a mark", Tagged(kV24, "TIT2", 2, Utf16BE(u"Привет")), {{"Title", kPrivet}}},
        {"encoding 2 with a little-endian mark", Tagged(kV24, "TIT2", 2, Utf16LE(u"Привет", true)),
         {{"Title", kPrivet}}},
        {"encoding 3", Tagged(kV24, "TIT2", 3, kPrivetUtf8), {{"Title", kPrivet}}},
        {"encoding 3 in a 2.3 tag", Tagged(kV23, "TPE1", 3, Latin("Artist")), {{"Artist", "Artist"}}},
        {"a mark inside the text is dropped", Tagged(kV23, "TIT2", 1, Utf16LE(u"A\uFEFFB\uFEFF", true)),
         {{"Title", "AB"}}},
        {"a low byte of FF is a character", Tagged(kV23, "TIT2", 1, Utf16LE(u"A\u00FF\u044F\u04FFB")),
         {{"Title", "A?\xFF?B"}}},
        {"a reversed mark inside the text is a character", Tagged(kV23, "TIT2", 1, Utf16LE(u"A\uFFFEB", true)),
         {{"Title", "A?B"}}},
        {"unmappable characters, one per unit", Tagged(kV23, "TIT2", 1, Utf16LE(u"\u00E9\u263A\U0001F600!", true)),
         {{"Title", "????" "!"}}},
        {"16-bit text ends at a zero unit and is trimmed",
         Tagged(kV23, "TIT2", 1, Utf16LE(std::u16string(u"  A\tB \0C", 8), true)),
         {{"Title", "A\tB"}}},
        {"an odd last byte", WithAudio(ID3v2Writer(kV23).Frame("TIT2", {1, 0xFF, 0xFE, 'A', 0, 'B'}).Build()),
         {{"Title", "AB"}}},
        {"no frames", WithAudio(ID3v2Writer(kV23).Build()), {}},
        {"an empty frame", WithAudio(ID3v2Writer(kV23).Frame("TIT2", {}).Build()), {}},
        {"an encoding byte alone", WithAudio(ID3v2Writer(kV23).Frame("TIT2", {1}).Build()), {}},
        {"a mark alone", Tagged(kV23, "TIT2", 2, {0xFE, 0xFF}), {}},
        {"8-bit text between zeros", Tagged(kV23, "TIT2", 0, Latin(std::string(" x \0", 4))), {{"Title", "x"}}},
        {"UTF-8: ASCII and Cyrillic", utf8("Ok \xD0\x9F\xD1\x80"), {{"Title", "Ok \xCF\xF0"}}},
        {"UTF-8 ends at the first zero byte", utf8(std::string("AB\0CD", 5)), {{"Title", "AB"}}},
        {"UTF-8: a mark is unmappable", utf8("\xEF\xBB\xBF" "A"), {{"Title", "?A"}}},
        {"UTF-8: lone continuation bytes", utf8("A\x80\xBF" "B"), {{"Title", "A??B"}}},
        {"UTF-8: truncated two-byte sequence", utf8("A\xD0"), {{"Title", "A?"}}},
        {"UTF-8: truncated three-byte sequence, one mark", utf8("A\xE2\x82" "B"), {{"Title", "A?B"}}},
        {"UTF-8: truncated four-byte sequence, one mark", utf8("\xF0\x9F\x98" "B"), {{"Title", "?B"}}},
        {"UTF-8: overlong encoding, two marks", utf8("\xC0\xAF"), {{"Title", "??"}}},
        {"UTF-8: overlong three-byte encoding", utf8("\xE0\x80\xAF"), {{"Title", "???"}}},
        {"UTF-8: encoded surrogate", utf8("\xED\xA0\x80"), {{"Title", "???"}}},
        {"UTF-8: beyond U+10FFFF", utf8("\xF4\x90\x80\x80"), {{"Title", "????"}}},
        {"UTF-8: bytes that start nothing", utf8("\xF5\xFF" "A"), {{"Title", "??A"}}},
        {"UTF-8: outside the 16-bit range, one mark", utf8("\xF0\x9F\x98\x80!"), {{"Title", "?!"}}},
        // U+10041: its low bits are never read
        {"UTF-8: outside the 16-bit range, read no further", utf8("\xF0\x90\x81\x81"), {{"Title", "?"}}},
        {"UTF-8: unmappable in the code page", utf8("\xC3\xA9"), {{"Title", "?"}}},
        {"UTF-8: trimmed at both ends", utf8("\t  \xD0\xAF \n"), {{"Title", "\xDF"}}},
    });
}

TEST(ID3v2Text, TextAfterDescription) {
    struct Case {
        const char* name;
        Bytes data;
        bool withLanguage;
        std::string expected;
        std::uint8_t version = kV23;
    };
    // A full block (500 bytes in 2.2) without a terminator: nothing goes for
    // 8-bit text, one byte for 16-bit text.
    Bytes wide = Concat({{1}, Latin("engx")});
    for (int i = 0; i < 300; ++i) Append(wide, {'A', 0});
    const Case cases[] = {
        {"8-bit with language", CommentData(0, Latin("desc"), Latin("Text")), true, "Text"},
        {"8-bit, empty description", CommentData(0, {}, Latin("Text")), true, "Text"},
        {"8-bit without a terminator", Concat({{0}, Latin("engText")}), true, ""},
        {"16-bit, marks on both parts", CommentData(1, Utf16LE(u"d", true), Utf16LE(u"Text", true)), true, "Text"},
        {"16-bit, empty description with a mark", CommentData(1, Utf16LE(u"", true), Utf16LE(u"T", true)), true, "T"},
        // The description's last character has a zero high byte: the zero
        // pair straddling it and the terminator is no terminator.
        {"16-bit terminator at a character boundary", CommentData(1, Utf16LE(u"A"), Utf16LE(u"B")), true, "B"},
        {"16-bit text after a Cyrillic description", CommentData(1, Utf16LE(u"\u0410", true), Utf16LE(u"Привет", true)),
         true, kPrivet},
        {"big-endian description", CommentData(2, Utf16BE(u"\u4100"), Utf16BE(u"Ok")), true, "Ok"},
        {"UTF-8 uses a one-byte terminator", CommentData(3, kPrivetUtf8, kPrivetUtf8), true, kPrivet},
        {"link without language", Concat({{0}, Latin("home page"), {0}, Latin("http://x")}), false, "http://x"},
        {"16-bit link", Concat({{1}, Utf16LE(u"d", true), {0, 0}, Utf16LE(u"http://x", true)}), false, "http://x"},
        {"no text", CommentData(0, Latin("desc"), {}), true, ""},
        {"no data", {}, true, ""},
        {"8-bit, a full block", Concat({{0}, Latin("eng"), Bytes(600, 'T')}), true, std::string(496, 'T'), kV22},
        {"16-bit, a full block", wide, true, std::string(247, 'A'), kV22},
    };
    for (const Case& c : cases) {
        const char* id = c.version == kV22 ? "COM" : c.withLanguage ? "COMM" : "WXXX";
        const TID3v2 tag = ReadFrame(id, c.data, c.version);
        EXPECT_EQ(c.withLanguage ? tag.Comment : tag.Link, c.expected) << c.name;
    }
}

// Genres after the last ")", track numbers as a signed 32-bit number read
// through its low 16 bits, from "-2147483647" on.
TEST(ID3v2Text, GenreAndTrackNumbers) {
    struct Case {
        const char* id;
        std::string text, expected;
    };
    const Case cases[] = {
        {"TCON", "(17)", ""}, {"TCON", "(17)Rock", "Rock"}, {"TCON", "(17) Rock", " Rock"}, {"TCON", "Rock", "Rock"},
        {"TCON", "Rock (live)", ""}, {"TCON", "((a)b)c", "c"}, {"TCON", "  (1)(2)x  ", "x"}, {"TCON", "", ""},
        {"TCON", "Rock)", ""}, {"TCON", "(Rock", "(Rock"},
        {"TRCK", "5/12", "5"}, {"TRCK", "05", "5"}, {"TRCK", "", "0"}, {"TRCK", "A5", "0"}, {"TRCK", "-1", "65535"},
        {"TRCK", "70000", "4464"}, {"TRCK", " 7 ", "7"}, {"TRCK", "7 /12", "0"}, {"TRCK", "1 2", "0"},
        {"TRCK", "+3", "3"}, {"TRCK", "/5", "0"}, {"TRCK", "5/", "5"}, {"TRCK", "$10", "16"}, {"TRCK", "0x10", "16"},
        {"TRCK", "0X1a", "26"}, {"TRCK", "x1F", "31"}, {"TRCK", "X1f", "31"}, {"TRCK", "-$10", "65520"},
        {"TRCK", "-0x10", "65520"}, {"TRCK", "$FFFFFFFF", "0"}, {"TRCK", "$", "0"}, {"TRCK", "0x", "0"},
        {"TRCK", "-", "0"}, {"TRCK", "00x5", "0"}, {"TRCK", "1e3", "0"}, {"TRCK", "12a", "0"},
        {"TRCK", "2147483647", "65535"}, {"TRCK", "2147483648", "0"}, {"TRCK", "65536", "0"}, {"TRCK", "65537", "1"},
        {"TRCK", std::string("3\0", 2), "3"}, {"TRCK", std::string("3\0/4", 4), "0"}, {"TRCK", "$-10", "0"},
        {"TRCK", "--1", "0"}, {"TRCK", "3/4/5", "3"}, {"TRCK", "-2147483647", "1"}, {"TRCK", "-2147483649", "0"},
        {"TRCK", "$7FFFFFFF", "65535"}, {"TRCK", "-$7FFFFFFF", "1"}, {"TRCK", "$80000000", "0"},
        {"TRCK", "0x100000000", "0"}, {"TRCK", "99999999999999999999999", "0"}, {"TRCK", "-0", "0"},
        {"TRCK", "000000000000000000042", "42"}, {"TRCK", "2147418113", "1"},
    };
    for (const Case& c : cases) {
        const TID3v2 tag = ReadFrame(c.id, Concat({{0}, Latin(c.text)}));
        EXPECT_EQ(c.id == "TCON"s ? tag.Genre : std::to_string(tag.Track), c.expected) << c.id << " '" << c.text << "'";
    }
    EXPECT_EQ(ReadFrame("TCON", Concat({{1}, Utf16LE(u"(13)Поп", true)})).Genre, "\xCF\xEE\xEF");
    EXPECT_EQ(ReadFrame("TRCK", Concat({{1}, Utf16LE(u" 12/20", true)})).Track, 12);
}

TEST(ID3v2Picture, TakesTheBlockAfter13Bytes) {
    const Bytes prefix = Concat({{0}, Latin("image/jpg"), {0, 3, 0}});
    ASSERT_EQ(prefix.size(), id3v2::kPicturePrefix);
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 'J', 'F', 'I', 'F'};
    Bytes large(100000, 0x5A);
    std::copy(prefix.begin(), prefix.end(), large.begin());

    struct Case {
        const char* name;
        Bytes tag, data;
        std::size_t size;
    };
    const Case cases[] = {
        {"a picture", ID3v2Writer(kV23).Frame("APIC", Concat({prefix, jpeg})).Build(), jpeg, 65522},
        {"not a JPEG at all", ID3v2Writer(kV24).Frame("APIC", Concat({prefix, Latin("garbage")})).Build(),
         Latin("garbage"), 65522},
        {"shorter than its prefix", ID3v2Writer(kV23).Frame("APIC", {0, 'x'}).Build(), {}, 65522},
        {"larger than a block", ID3v2Writer(kV23).Frame("APIC", large).Text("TYER", "2017").Build(),
         Bytes(65522, 0x5A), 65522},
        {"an unknown encoding byte", ID3v2Writer(kV23).Frame("APIC", Concat({{9}, jpeg, jpeg})).Build(), {}, 0},
        {"no picture frame", ID3v2Writer(kV23).Text("TIT2", "x").Build(), {}, 0},
    };
    for (const Case& c : cases) {
        const TID3v2 tag = Read(WithAudio(c.tag));
        ASSERT_TRUE(tag.Picture) << c.name;
        EXPECT_EQ(std::tie(tag.Picture->Data, tag.Picture->Size), std::tie(c.data, c.size)) << c.name;

        TID3v2 textsOnly;
        textsOnly.CollectPicture = false;  // kept by the Clear that every read makes
        FaultySource source(WithAudio(c.tag));
        ASSERT_TRUE(textsOnly.ReadTag(source)) << c.name;
        EXPECT_FALSE(textsOnly.Picture) << c.name;
        EXPECT_EQ(Fields(textsOnly), Fields(tag)) << c.name;
        EXPECT_LT(source.bytesRequested, 100u) << c.name;  // headers and texts: the picture's data is never asked for
    }
    EXPECT_EQ(Read(WithAudio(cases[3].tag)).Year, "2017");  // the walk goes on after a long frame
}

TEST(ID3v2Header, FurtherTagsBeforeTheAudio) {
    const Bytes first = ID3v2Writer(kV23).Text("TIT2", "First").Build();
    const Bytes second = ID3v2Writer(kV24).Text("TIT2", "Second").Padding(30).Build();
    const Bytes v22 = ID3v2Writer(kV22).Text("TT2", "Third").Build();
    const Bytes footer24 = ID3v2Writer(kV24, 0x10).Text("TIT2", "Second").Build();  // header, body, footer
    const Bytes footer23 = ID3v2Writer(kV23, 0x10).Text("TIT2", "Second").Build();
    auto header = [&](std::size_t at, std::uint8_t value) {
        Bytes tag = second;
        tag[at] = value;
        return tag;
    };
    const Bytes version5 = ID3v2Writer(5).Padding(20).Build();
    struct Case {
        const char* name;
        Bytes file;
        std::size_t further;
    };
    const Case cases[] = {
        {"none", WithAudio(first), 0},
        {"one", WithAudio(Concat({first, second})), second.size()},
        {"two of them", WithAudio(Concat({first, second, v22})), second.size() + v22.size()},
        {"2.4 with a footer", WithAudio(Concat({first, footer24})), footer24.size()},
        {"2.3 has no footer to count", WithAudio(Concat({first, footer23})), footer23.size() - id3v2::kFooterSize},
        {"version 5 is no tag", WithAudio(Concat({first, header(3, 5)})), 0},
        {"revision FF is no tag", WithAudio(Concat({first, header(4, 0xFF)})), 0},
        {"revision FE is", WithAudio(Concat({first, header(4, 0xFE)})), second.size()},
        {"a size byte of 0x80 is no tag", WithAudio(Concat({first, header(9, 0x80)})), 0},
        {"a lower-case marker is no tag", WithAudio(Concat({first, header(0, 'i')})), 0},
        {"not directly after", WithAudio(Concat({first, {0}, second})), 0},
        {"a tag reaching the end of the file", Concat({first, second}), 0},
        {"a tag one byte short of it", Concat({first, second, {0}}), second.size()},
        {"a tag past the end", WithAudio(Concat({first, ID3v2Writer(kV24).SizeField(Syncsafe(1 << 20)).Build()})), 0},
        {"after a first tag of a later version", WithAudio(Concat({version5, second})), second.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 tag = Read(c.file);
        EXPECT_EQ(tag.FurtherTagsSize, static_cast<std::int64_t>(c.further));
        EXPECT_EQ(tag.AudioStart(), tag.TagSize + static_cast<std::int64_t>(c.further));
        EXPECT_EQ(tag.Title, c.file[3] == 5 ? "" : "First");  // from the first tag alone
    }
    // Without a first tag inside the file nothing follows it.
    EXPECT_EQ(Read(WithAudio(Concat({Bytes(10, 0), second}))).FurtherTagsSize, 0);
}

TEST(ID3v2Frames, Unsynchronisation) {
    const Bytes zeroAfterSync = {0, 'A', 0xFF, 0, 'B'};
    const std::string kept("A\xFF\0B", 4);
    // Frame data that runs past the end of an unsynchronised tag continues
    // in the bytes after it as stored: an FF at the tag's end keeps the zero
    // that follows it outside.
    const Bytes pastTheEnd = Concat(
        {ID3v2Writer(kV23, 0x80).RawFrame("TIT2", BigEndian(5, 4), {0, 'A', 0xFF}).Build(), {0, 'B'}, Bytes(64, 0xFF)});
    auto frame24 = [](std::uint8_t flags, const Bytes& data) {
        const Bytes size = Syncsafe(static_cast<std::uint32_t>(data.size()));
        return ID3v2Writer(kV24).RawFrame("TIT2", size, data, {0, flags}).Build();
    };
    RunFieldCases({
        {"FF 00 00 keeps one zero",
         WithAudio(UnsynchronisedTag(ID3v2Writer(kV23).Frame("TIT2", zeroAfterSync).Build())), {{"Title", kept}}},
        {"2.3 frame flags do not unsynchronise",
         WithAudio(ID3v2Writer(kV23).RawFrame("TIT2", BigEndian(6, 4), Unsynchronised(zeroAfterSync), {0, 3}).Build()),
         {{"Title", std::string("A\xFF\0\0B", 5)}}},
        {"2.4 only the flagged frame",
         WithAudio(ID3v2Writer(kV24).RawFrame("TIT2", Syncsafe(6), Unsynchronised(zeroAfterSync), {0, 2})
                       .RawFrame("TPE1", Syncsafe(6), Unsynchronised(zeroAfterSync)).Build()),
         {{"Title", kept}, {"Artist", std::string("A\xFF\0\0B", 5)}}},
        {"2.4 data length of fewer than four bytes", WithAudio(frame24(1, {0, 'x'})), {}},
        {"2.4 data length before an unsynchronised text",
         WithAudio(frame24(3, Concat({Syncsafe(5), Unsynchronised(zeroAfterSync)}))), {{"Title", kept}}},
        {"frame data past the tag's end", pastTheEnd, {{"Title", kept}}},
    });
}

// The fixtures through process, as a host calls it: the texts of the first
// tag, the audio after every tag.
class ID3v2AsTaggersWriteThem : public PluginTest {};

TEST_F(ID3v2AsTaggersWriteThem, NamesAndWhereTheAudioBegins) {
    const std::string zarya = "\xC7\xE0\xF0\xFF", moya = "\xCC\xEE\xFF", pesnya = "\xCF\xE5\xF1\xED\xFF";
    const std::string veter = "\xC2\xE5\xF2\xE5\xF0", dvazhdy = "\xC4\xE2\xE0\xE6\xE4\xFB";
    struct Named {
        std::string name;  // for "*artist* - *title* - *album* *bitrate* *time*"
        bool audioAfterTags;
    };
    const std::map<std::string, Named> wants = {
        {"flag-without-extended-header-2.4.mp3", {veter + " - " + zarya + " -  128 00.01", true}},
        {"flag-without-extended-header-2.3.mp3", {veter + " - " + zarya + " -  128 00.01", true}},
        {"extended-header-2.3-6-bytes.mp3", {"Six - " + pesnya + " -  128 00.01", true}},
        {"extended-header-2.3-10-bytes.mp3", {"Ten - " + pesnya + " -  128 00.01", true}},
        {"extended-header-2.4-6-bytes.mp3", {"Six - " + pesnya + " -  128 00.01", true}},
        {"extended-header-2.4-12-bytes.mp3", {"Twelve - " + pesnya + " -  128 00.01", true}},
        {"two-tags.mp3", {veter + " - " + dvazhdy + " -  128 00.01", true}},
        {"three-tags.mp3", {veter + " - " + dvazhdy + " -  128 00.01", true}},
        {"second-tag-past-the-end.mp3", {veter + " - " + dvazhdy + " -  128 00.01", false}},
        {"second-tag-with-footer.mp3", {veter + " - " + dvazhdy + " -  128 00.01", true}},
        {"second-tag-without-audio.mp3", {"NOTAG - NOTAG - NOTAG 0 00.00", false}},
        {"unsynchronised-2.3-size-bytes.mp3", {moya + " - " + zarya + " -  128 00.01", true}},
        {"unsynchronised-2.3-across-frames.mp3", {veter + " - " + zarya + " - " + moya + " 128 00.01", true}},
        {"unsynchronised-2.3-tag-ends-in-ff.mp3", {moya + " - " + pesnya + " -  128 00.01", true}},
        {"unsynchronised-2.2.mp3", {moya + " - " + kPrivet + " -  128 00.01", true}},
        {"unsynchronised-2.4-data-length.mp3", {moya + " - " + zarya + " -  128 00.01", true}},
        {"unsynchronised-2.4-frames.mp3", {moya + " - " + zarya + " -  128 00.01", true}},
        {"unsynchronised-2.4-frames-with-data-length.mp3", {moya + " - " + zarya + " -  128 00.01", true}},
        {"unsynchronised-2.4-header-flag.mp3", {pesnya + " - " + zarya + " -  128 00.01", true}},
    };
    SetPattern("*artist* - *title* - *album* *bitrate* *time*");
    const std::vector<TFixture> fixtures = ReaderFixtures();
    ASSERT_EQ(fixtures.size(), wants.size());
    TempDir dir;
    for (const TFixture& fixture : fixtures) {
        SCOPED_TRACE(fixture.name);
        ASSERT_EQ(wants.count(fixture.name), 1u);
        const Named& want = wants.at(fixture.name);
        EXPECT_EQ(Process(dir.Write(fixture.name, fixture.bytes), true), dir.File(want.name + ".mp3"));
        const TID3v2 tag = Read(fixture.bytes);
        const auto audio = static_cast<std::int64_t>(fixture.bytes.size() - FixtureAudio().size());
        EXPECT_EQ(tag.AudioStart(), want.audioAfterTags ? audio : tag.TagSize);
    }
}

// A read that fails or comes up short ends the walk quietly: the fields
// collected before it stay, and only the header read can make it false.
TEST(ID3v2Faults, FailureAtEveryReadKeepsWhatWasCollected) {
    auto frames = [](std::uint8_t version) {
        return ID3v2Writer(version).Text("TIT2", "Title").Text("TPE1", 1, Utf16LE(u"Artist", true))
            .Frame("TXXX", Bytes(40000, 0xFF))  // 2.4: two readings of its size; 2.3: chunks of FF 00
            .Text("TALB", 3, Latin("Album")).Frame("COMM", CommentData(0, Latin(""), Latin("Comment"))).Build();
    };
    for (const Bytes& file : {WithAudio(frames(kV24)), WithAudio(UnsynchronisedTag(frames(kV23)))}) {
        SCOPED_TRACE(file[3] == kV24 ? "2.4" : "unsynchronised 2.3");
        FaultySource clean(file);
        TID3v2 full;
        ASSERT_TRUE(full.ReadTag(clean));
        const Want all = Fields(full);
        ASSERT_EQ(all, (Want{{"Title", "Title"}, {"Artist", "Artist"}, {"Album", "Album"}, {"Comment", "Comment"}}));
        ASSERT_GT(clean.calls, 5u);
        for (bool shortRead : {false, true}) {
            std::size_t previous = 0;
            for (std::size_t n = 1; n <= clean.calls + 1; ++n) {
                SCOPED_TRACE(testing::Message() << (shortRead ? "short read " : "failure ") << "at call " << n);
                FaultySource source(file);
                (shortRead ? source.shortAt : source.failAt) = n;
                TID3v2 tag;
                EXPECT_EQ(tag.ReadTag(source), n != 1);
                const Want got = Fields(tag);
                for (const auto& [name, value] : got) EXPECT_EQ(value, all.at(name)) << name;
                EXPECT_GE(got.size(), previous);  // a later failure never collects less
                previous = got.size();
            }
            EXPECT_EQ(previous, 4u);
        }
    }
}

}  // namespace
