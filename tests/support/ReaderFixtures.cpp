// The files of ReaderFixtures.h, built with the tag and audio writers.
#include "ReaderFixtures.h"

#include "AudioWriter.h"

namespace testing_support {

namespace {

constexpr std::uint8_t kSync = 0xFF;
constexpr std::size_t kHeader = 10;
constexpr std::size_t kFlagsAt = 5;
constexpr std::size_t kSizeAt = 6;
constexpr std::uint8_t kUnsynchronisation = 0x80;
constexpr std::uint8_t kExtendedHeader = 0x40;
constexpr std::uint8_t kFooter = 0x10;
constexpr std::uint8_t kDataLength = 0x01;     // 2.4 frame flag
constexpr std::uint8_t kFrameUnsynced = 0x02;  // 2.4 frame flag

// Windows-1251 texts that end in FF (the letter ya), so that unsynchronisation
// has a byte to mark, and one without.
const Bytes kZarya = Latin("\xC7\xE0\xF0\xFF");          // Заря
const Bytes kMoya = Latin("\xCC\xEE\xFF");               // Моя
const Bytes kPesnya = Latin("\xCF\xE5\xF1\xED\xFF");     // Песня
const Bytes kVeter = Latin("\xC2\xE5\xF2\xE5\xF0");      // Ветер

// 16-bit text with its byte order mark (FF FE): every such text has an FF.
Bytes Wide(std::u16string_view text) { return Concat({{1}, Utf16LE(text, true)}); }
Bytes Ansi(const Bytes& text) { return Concat({{0}, text}); }

void SetSize(Bytes& tag, std::size_t bodySize) {
    const Bytes size = Syncsafe(static_cast<std::uint32_t>(bodySize));
    std::copy(size.begin(), size.end(), tag.begin() + kSizeAt);
}

// A 2.4 frame's data as stored: its length first when asked, then the content,
// unsynchronised when asked.
Bytes Stored24(const Bytes& content, bool dataLength, bool unsynchronised) {
    const Bytes body = unsynchronised ? Unsynchronised(content) : content;
    return dataLength ? Concat({Syncsafe(static_cast<std::uint32_t>(content.size())), body}) : body;
}

ID3v2Writer& Frame24(ID3v2Writer& tag, std::string_view id, const Bytes& content, std::uint8_t flags) {
    const Bytes stored = Stored24(content, (flags & kDataLength) != 0, (flags & kFrameUnsynced) != 0);
    return tag.RawFrame(id, Syncsafe(static_cast<std::uint32_t>(stored.size())), stored, {0, flags});
}

Bytes WithAudio(std::initializer_list<Bytes> tags) {
    Bytes file;
    for (const Bytes& tag : tags) Append(file, tag);
    Append(file, FixtureAudio());
    return file;
}

}  // namespace

Bytes Unsynchronised(const Bytes& bytes) {
    Bytes stored;
    for (const std::uint8_t b : bytes) {
        stored.push_back(b);
        if (b == kSync) stored.push_back(0);
    }
    return stored;
}

Bytes UnsynchronisedTag(const Bytes& tag) {
    Bytes stored(tag.begin(), tag.begin() + kHeader);
    stored[kFlagsAt] |= kUnsynchronisation;
    Append(stored, Unsynchronised(Bytes(tag.begin() + kHeader, tag.end())));
    SetSize(stored, stored.size() - kHeader);
    return stored;
}

Bytes FixtureAudio() { return Stream(FrameFields{}, 40); }

std::vector<TFixture> ReaderFixtures() {
    std::vector<TFixture> files;
    auto add = [&files](std::string name, Bytes bytes) { files.push_back({std::move(name), std::move(bytes)}); };

    add("flag-without-extended-header-2.4.mp3",
        WithAudio({ID3v2Writer(4, kExtendedHeader).Frame("TIT2", Wide(u"Заря")).Frame("TPE1", Ansi(kVeter)).Build()}));
    add("flag-without-extended-header-2.3.mp3",
        WithAudio({ID3v2Writer(3, kExtendedHeader).Frame("TIT2", Ansi(kZarya)).Frame("TPE1", Wide(u"Ветер")).Build()}));
    // 2.3 counts the size without its own four bytes (6, or 10 with a CRC),
    // 2.4 with them (6, or 12 with a CRC).
    add("extended-header-2.3-6-bytes.mp3", WithAudio({ID3v2Writer(3, kExtendedHeader)
                                                          .ExtendedHeader({0, 0, 0, 0, 0, 0})
                                                          .Frame("TIT2", Ansi(kPesnya))
                                                          .Frame("TPE1", Ansi(Latin("Six")))
                                                          .Build()}));
    add("extended-header-2.3-10-bytes.mp3",
        WithAudio({ID3v2Writer(3, kExtendedHeader)
                       .ExtendedHeader({0x80, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78})  // with a CRC
                       .Frame("TIT2", Wide(u"Песня"))
                       .Frame("TPE1", Ansi(Latin("Ten")))
                       .Build()}));
    add("extended-header-2.4-6-bytes.mp3", WithAudio({ID3v2Writer(4, kExtendedHeader)
                                                          .ExtendedHeader({1, 0})
                                                          .Frame("TIT2", Wide(u"Песня"))
                                                          .Frame("TPE1", Ansi(Latin("Six")))
                                                          .Build()}));
    add("extended-header-2.4-12-bytes.mp3", WithAudio({ID3v2Writer(4, kExtendedHeader)
                                                           .ExtendedHeader({1, 0x20, 5, 1, 2, 3, 4, 5})
                                                           .Frame("TIT2", Ansi(kPesnya))
                                                           .Frame("TPE1", Ansi(Latin("Twelve")))
                                                           .Build()}));

    const Bytes first = ID3v2Writer(3).Frame("TIT2", Wide(u"Дважды")).Frame("TPE1", Ansi(kVeter)).Padding(16).Build();
    // Later tags larger than the audio hide it from both blocks of the search
    // unless they are stepped over.
    constexpr std::size_t kLargePadding = 20000;
    const Bytes second =
        ID3v2Writer(4).Text("TIT2", 3, Latin("Second")).Text("TPE1", 3, Latin("Other")).Padding(kLargePadding).Build();
    add("two-tags.mp3", WithAudio({first, second}));
    add("three-tags.mp3",
        WithAudio({first, ID3v2Writer(2).Text("TT2", 0, Latin("Second")).Padding(5).Build(), second}));
    add("second-tag-past-the-end.mp3",
        WithAudio({first, ID3v2Writer(4).Text("TIT2", 0, Latin("Second")).SizeField(Syncsafe(1 << 20)).Build()}));
    add("second-tag-with-footer.mp3",
        WithAudio({first, ID3v2Writer(4, kFooter).Text("TIT2", 0, Latin("Second")).Padding(kLargePadding).Build()}));
    add("second-tag-without-audio.mp3", Concat({first, second}));

    // 2.3: a title of 255 bytes, whose size field ends in FF.
    add("unsynchronised-2.3-size-bytes.mp3",
        WithAudio({UnsynchronisedTag(ID3v2Writer(3)
                                         .Frame("TIT2", Concat({Ansi(kZarya), Bytes(250, 0)}))
                                         .Frame("TPE1", Ansi(kMoya))
                                         .Build())}));
    // Each frame ends in FF, so the zero after it stands in the next frame's place.
    add("unsynchronised-2.3-across-frames.mp3", WithAudio({UnsynchronisedTag(ID3v2Writer(3)
                                                                                 .Frame("TIT2", Ansi(kZarya))
                                                                                 .Frame("TPE1", Wide(u"Ветер"))
                                                                                 .Frame("TALB", Ansi(kMoya))
                                                                                 .Padding(8)
                                                                                 .Build())}));
    // The last byte of the tag is an FF that no zero follows: the audio does.
    Bytes endsInSync =
        UnsynchronisedTag(ID3v2Writer(3).Frame("TIT2", Wide(u"Песня")).Frame("TPE1", Ansi(kMoya)).Build());
    endsInSync.pop_back();
    SetSize(endsInSync, endsInSync.size() - kHeader);
    add("unsynchronised-2.3-tag-ends-in-ff.mp3", WithAudio({endsInSync}));
    add("unsynchronised-2.2.mp3", WithAudio({UnsynchronisedTag(ID3v2Writer(2)
                                                                   .Frame("TT2", Wide(u"Привет"))
                                                                   .Frame("TP1", Ansi(kMoya))
                                                                   .Padding(4)
                                                                   .Build())}));

    ID3v2Writer dataLength(4), unsynced(4), both(4), wholeTag(4, kUnsynchronisation);
    Frame24(Frame24(dataLength, "TIT2", Wide(u"Заря"), kDataLength), "TPE1", Ansi(kMoya), kDataLength);
    Frame24(Frame24(unsynced, "TIT2", Wide(u"Заря"), kFrameUnsynced), "TPE1", Ansi(kMoya), kFrameUnsynced);
    Frame24(Frame24(both, "TIT2", Ansi(kZarya), kDataLength | kFrameUnsynced), "TPE1", Wide(u"Моя"),
            kDataLength | kFrameUnsynced);
    wholeTag.Frame("TIT2", Unsynchronised(Wide(u"Заря"))).Frame("TPE1", Unsynchronised(Ansi(kPesnya)));
    add("unsynchronised-2.4-data-length.mp3", WithAudio({dataLength.Padding(10).Build()}));
    add("unsynchronised-2.4-frames.mp3", WithAudio({unsynced.Build()}));
    add("unsynchronised-2.4-frames-with-data-length.mp3", WithAudio({both.Build()}));
    add("unsynchronised-2.4-header-flag.mp3", WithAudio({wholeTag.Padding(3).Build()}));
    return files;
}

}  // namespace testing_support
