// Writes the seed corpora of the fuzz targets, made with the test-support
// writers: tags of every version and encoding, the reader fixtures, MPEG
// streams with and without VBR headers, damaged and hostile sizes, and process
// inputs with patterns, tag sources and paths.
//   fuzz_seeds OUTPUT_FOLDER   (makes OUTPUT_FOLDER/{id3v2,id3v1,mpeg,process})
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "AudioWriter.h"
#include "ID3v1.h"
#include "ID3v2.h"
#include "ProcessInput.h"
#include "ReaderFixtures.h"
#include "TagWriter.h"

using namespace testing_support;

namespace {

using Seeds = std::vector<std::pair<std::string, Bytes>>;

Bytes Audio(std::size_t frames = 10) { return CbrAudio(frames, 0x55); }

Seeds TagSeeds() {
    Seeds seeds;
    seeds.emplace_back("v23-latin", ID3v2Writer(3)
                                         .Text("TIT2", 0, Latin("Title"))
                                         .Text("TPE1", 0, Latin("Artist"))
                                         .Text("TALB", 0, Latin("Album"))
                                         .Text("TRCK", 0, Latin("5/12"))
                                         .Text("TYER", 0, Latin("2004"))
                                         .Text("TCON", 0, Latin("(17)Rock"))
                                         .Frame("COMM", CommentData(0, Latin("d"), Latin("Comment")))
                                         .Padding(64)
                                         .Build());
    seeds.emplace_back("v23-utf16", ID3v2Writer(3)
                                         .Text("TIT2", 1, Utf16LE(u"\u0417\u0432\u0435\u0437\u0434\u0430", true))
                                         .Text("TPE1", 1, Utf16BE(u"Artist", true))
                                         .Frame("COMM", CommentData(1, Utf16LE(u"d", true), Utf16LE(u"text", true)))
                                         .Frame("WXXX", Concat({{0}, Latin("desc"), {0}, Latin("http://x")}))
                                         .Frame("USLT", CommentData(0, Latin(""), Latin("lyrics")))
                                         .Build());
    seeds.emplace_back("v24-encodings", ID3v2Writer(4)
                                             .Text("TIT2", 3, Latin("\xD0\x97\xD0\xB2 UTF-8"))
                                             .Text("TPE1", 2, Utf16BE(u"Big endian"))
                                             .Text("TDRC", 0, Latin("2004-05-06"))
                                             .Frame("TXXX", Bytes(200, 'q'))
                                             .Text("TALB", 0, Latin("After a long frame"))
                                             .Build());
    seeds.emplace_back("v24-plain-sizes", ID3v2Writer(4)
                                               .RawFrame("TIT2", BigEndian(201, 4), Concat({{0}, Bytes(200, 'p')}))
                                               .Text("TPE1", 0, Latin("After"))
                                               .Build());
    seeds.emplace_back("v24-extended", ID3v2Writer(4, id3v2::kFlagExtendedHeader)
                                            .ExtendedHeader({1, 0})
                                            .Text("TIT2", 0, Latin("Extended"))
                                            .Build());
    seeds.emplace_back("v23-extended", ID3v2Writer(3, id3v2::kFlagExtendedHeader)
                                            .ExtendedHeader({0, 0, 0, 0, 0, 0})
                                            .Text("TIT2", 0, Latin("Extended"))
                                            .Build());
    seeds.emplace_back("v24-footer", ID3v2Writer(4, id3v2::kFlagFooter).Text("TIT2", 0, Latin("Footer")).Build());
    seeds.emplace_back("v22", ID3v2Writer(2)
                                  .Text("TT2", 0, Latin("Title"))
                                  .Text("TP1", 1, Utf16LE(u"Artist", true))
                                  .Text("TRK", 0, Latin("$10"))
                                  .Frame("COM", CommentData(0, Latin(""), Latin("c")))
                                  .Frame("TXX", Bytes(600, 'x'))
                                  .Text("TAL", 0, Latin("Album"))
                                  .Build());
    seeds.emplace_back("picture", ID3v2Writer(3)
                                      .Text("TIT2", 0, Latin("With picture"))
                                      .Frame("APIC", Concat({Latin("\0image/jpeg\0\3"), Bytes(300, 0xD8)}))
                                      .Build());
    seeds.emplace_back("empty-frames", ID3v2Writer(3)
                                           .Frame("TIT2", {})
                                           .Frame("TPE1", {})
                                           .Frame("TXXX", {})
                                           .Text("TIT2", 0, Latin("Last"))
                                           .Build());
    seeds.emplace_back("huge-frame-sizes", ID3v2Writer(3)
                                               .Text("TIT2", 0, Latin("Kept"))
                                               .RawFrame("TPE1", {0xFF, 0xFF, 0xFF, 0xFF}, Latin("\0x"))
                                               .Build());
    seeds.emplace_back("tag-size-beyond-file",
                       ID3v2Writer(3).Text("TIT2", 0, Latin("x")).SizeField({0x7F, 0x7F, 0x7F, 0x7F}).Build());
    seeds.emplace_back("tag-size-bytes-whole",
                       ID3v2Writer(3).Text("TIT2", 0, Latin("x")).SizeField({0, 0, 0x01, 0x80}).Padding(300).Build());
    seeds.emplace_back("version-5", ID3v2Writer(5).Text("TIT2", 0, Latin("x")).Build());
    return seeds;
}

Seeds FileSeeds() {
    Seeds seeds;
    for (auto& [name, tag] : TagSeeds()) {
        seeds.emplace_back(name, Concat({tag, Audio()}));
        seeds.emplace_back(name + "-bare", tag);
    }
    // Tags as real taggers write them: extended headers, further tags, unsynchronisation.
    for (TFixture& fixture : ReaderFixtures()) seeds.emplace_back("fixture-" + fixture.name, std::move(fixture.bytes));
    seeds.emplace_back("cbr-id3v1",
                       Concat({Audio(12), ID3v1Tag(ID3v1Fields().Title("Title").Artist("Artist").Track(7).Genre(17))}));
    seeds.emplace_back("id3v1-only-10", ID3v1Tag(ID3v1Fields().Title("t").Comment(std::string(30, 'c'))));
    Bytes xing = XingFrame(kCbr128, 1000, 418000);
    Append(xing, Audio(6));
    seeds.emplace_back("xing", xing);
    Bytes xingNegative = XingFrame(kCbr128, -5, -418000);
    Append(xingNegative, Audio(6));
    seeds.emplace_back("xing-negative", xingNegative);
    Bytes vbri = Frame(kCbr128);
    PutVbri(vbri, 36, 418000, 1000, 80);
    Append(vbri, Audio(6));
    seeds.emplace_back("vbri", vbri);
    Bytes mono = Stream(MpegFields(2, 1, 8, 0, false, 3), 12);
    Put(mono, mono.size() - 300, "LAME3.97");
    seeds.emplace_back("mpeg2-mono-lame", mono);
    seeds.emplace_back("mpeg25-layer1", Stream(MpegFields(0, 3, 4, 2), 12));
    seeds.emplace_back("layer2-gogo", [] {
        Bytes b = Stream(MpegFields(3, 2, 14, 2), 4);
        Put(b, b.size() - 50, "GOGO");
        return b;
    }());
    Bytes middle(8000, 0);
    Put(middle, 4000, "\xFF\xFB\x90\x64");
    Put(middle, 4417, "\xFF\xFB\x90\x64");
    seeds.emplace_back("frame-in-the-middle", middle);
    seeds.emplace_back("short-audio", Audio(2));
    seeds.emplace_back("nine-bytes", Latin("ID3\3\0\0\0\0\0"));
    seeds.emplace_back("empty", Bytes{});
    return seeds;
}

Seeds ProcessSeeds() {
    Seeds seeds;
    const Bytes file = Concat({ID3v2Writer(3)
                                   .Text("TIT2", 0, Latin("Ti/tle"))
                                   .Text("TPE1", 0, Latin("AC\\DC:"))
                                   .Text("TRCK", 0, Latin("3"))
                                   .Build(),
                               Audio(), ID3v1Tag(ID3v1Fields().Title("One").Artist("Two").Genre(200))});
    struct Variant {
        const char* name;
        std::int8_t tagSource;
        std::string pattern;
        std::string oldPath;
    };
    const Variant variants[] = {
        {"default", 0, "*artist* - *title*", "/music/x.MP3"},
        {"id3v1", 1, "*track*. *artist* - *title* (*genre*)", "/music/Song.mp3"},
        {"source-7", 7, "*artist* *bitrate*", "/music/a.mp3"},
        {"source-minus-1", -1, "*artist* *time* *mode*", "x.mp3"},
        {"full-pattern", 0, std::string(247, 'x') + "*bitrate*", "/music/full.mp3"},
        {"filename-only", 0, "*filename*", "/music/song.mp3.Mp3"},
        {"not-mp3", 0, "*artist*", "/music/song.wav"},
        {"folder-only", 0, "*artist*", "/music/"},
        {"case", 1, "*ARTIST*-*Title*-*sample*", "M:\\Music\\x.mp3"},
    };
    for (const Variant& v : variants) {
        seeds.emplace_back(v.name, fuzzing::MakeProcessInput(v.tagSource, v.pattern, v.oldPath, file));
    }
    for (auto& [name, bytes] : FileSeeds()) seeds.emplace_back("file-" + name, bytes);
    return seeds;
}

bool Write(const std::string& folder, const Seeds& seeds) {
    ::mkdir(folder.c_str(), 0755);
    for (const auto& [name, bytes] : seeds) {
        const std::string path = folder + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return false;
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        if (std::fclose(f) != 0) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    ::mkdir(out.c_str(), 0755);
    Seeds tags = FileSeeds();
    Seeds id3v1;
    for (auto& [name, bytes] : tags) {
        if (bytes.size() >= kID3v1TagSize) id3v1.emplace_back(name, Bytes(bytes.end() - kID3v1TagSize, bytes.end()));
    }
    id3v1.emplace_back("v11-space", ID3v1Tag(ID3v1Fields().Comment(std::string(28, 'c') + " A")));
    const bool ok = Write(out + "/id3v2", tags) && Write(out + "/id3v1", id3v1) && Write(out + "/mpeg", FileSeeds()) &&
                    Write(out + "/process", ProcessSeeds());
    if (!ok) std::fprintf(stderr, "cannot write the seeds under %s\n", out.c_str());
    return ok ? 0 : 1;
}
