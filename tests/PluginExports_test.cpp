// The plug-in as a host sees it: loaded by file name, eight exports by name;
// and what a careless or hostile host may hand it: null pointers for every
// pointer argument of every export, a pattern that fills all 256 bytes, tag
// sources other than 0 and 1, texts that are not MP3 paths, and the plug-in's
// own returned text handed back to it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AudioWriter.h"
#include "PluginTest.h"
#include "TagWriter.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

// ID3v2: artist A, title B; ID3v1: artist C, title D; 128 kbit/s.
Bytes TaggedFileWithID3v1() { return Concat({TaggedFile(), ID3v1Tag(ID3v1Fields().Artist("C").Title("D"))}); }

class PluginExports : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        path = dir.Write("x.mp3", TaggedFileWithID3v1());
    }

    // process in preview of oldPath, reading source; the text handed back.
    std::string Preview(const std::string& oldPath, const std::string& source) {
        return CallProcess(plugin, options, oldPath, true, source);
    }

    TempDir dir;
    std::string path;
};

TEST_F(PluginExports, DescriptorIsByteExactOverAFilledRecord) {
    std::uint8_t record[216];
    std::memset(record, 0xFF, sizeof record);
    plugin.getInfo(reinterpret_cast<PluginInfo*>(record));

    std::uint8_t expected[216] = {};
    std::memcpy(expected + 0, "1.0.02", 6);
    std::memcpy(expected + 10, "Pelmora ID3", 11);
    std::memcpy(expected + 60, "Tolvarin", 8);
    std::memcpy(expected + 110, "MP3\\Pelmora ID3", 15);
    std::memcpy(expected + 160, "*.mp3", 5);
    expected[211] = 0xFF;  // the alignment byte is never written
    expected[212] = 0x04;
    expected[213] = 0x01;
    for (std::size_t i = 0; i < sizeof record; ++i) EXPECT_EQ(record[i], expected[i]) << "byte " << i;
}

#ifndef _WIN32
// The names the library's dynamic symbol table defines, as the loader sees them.
std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> names;
    FILE* nm = ::popen(("nm -D --defined-only '" + library + "'").c_str(), "r");
    if (nm == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) names.insert(name);
    }
    ::pclose(nm);
    return names;
}

TEST_F(PluginExports, ExportsNothingButTheEight) {
    const std::set<std::string> expected{"getInfo",    "initialize", "newOpt",     "freeOpt",
                                         "showOptions", "process",   "exportBtns", "clickBtn"};
    EXPECT_EQ(DefinedDynamicSymbols(PluginPath()), expected);
}
#else
TEST_F(PluginExports, ExportsNothingButTheEight) {
    EXPECT_EQ(plugin.Symbol("ReplaceAllIgnoreCase"), nullptr);
    EXPECT_EQ(plugin.Symbol("getInfo@4"), nullptr);
    EXPECT_EQ(plugin.Symbol("_getInfo@4"), nullptr);
}
#endif

TEST_F(PluginExports, RecordsComeFromAndGoBackToOneHeap) {
    PluginOptions* record = nullptr;
    plugin.newOpt(&record);
    ASSERT_NE(record, nullptr);
    std::memset(record, 'x', sizeof *record);  // all 260 bytes are the host's
    plugin.freeOpt(record);

    PluginOptions* created = nullptr;
    char* description = nullptr;
    EXPECT_EQ(plugin.showOptions(1, &created, &description), 0);  // no window: nothing accepted
    ASSERT_NE(created, nullptr);
    EXPECT_STREQ(created->pattern, "*artist* - *title*");
    for (std::size_t i = std::strlen(created->pattern); i < sizeof created->pattern; ++i) EXPECT_EQ(created->pattern[i], 0);
    EXPECT_EQ(created->tagSource, 0);
    EXPECT_EQ(description, nullptr);
    plugin.freeOpt(created);
}

TEST_F(PluginExports, NullPointersForEveryPointerArgument) {
    char text[] = "x.mp3";
    char* p = text;
    char* none = nullptr;
    PluginOptions* noRecord = nullptr;
    plugin.getInfo(nullptr);
    plugin.newOpt(nullptr);
    plugin.freeOpt(nullptr);
    plugin.exportBtns(nullptr, nullptr);
    std::int32_t buttons = 12345;
    plugin.exportBtns(nullptr, &buttons);
    EXPECT_EQ(buttons, 0);
    plugin.clickBtn();
    EXPECT_EQ(plugin.showOptions(0, nullptr, nullptr), 0);
    EXPECT_EQ(plugin.showOptions(1, nullptr, nullptr), 0);
    // A new record is still handed back when only the description is missing.
    PluginOptions* created = nullptr;
    plugin.showOptions(1, &created, nullptr);
    EXPECT_NE(created, nullptr);
    plugin.freeOpt(created);

    struct Case {
        const char* name;
        char** path;
        const char* preview;
        PluginOptions** options;
        std::uint8_t previewFlag;
    };
    const Case cases[] = {
        {"no path reference", nullptr, path.c_str(), &options, 1},
        {"no path text", &none, path.c_str(), &options, 1},
        {"no options reference", &p, path.c_str(), nullptr, 1},
        {"no options record", &p, path.c_str(), &noRecord, 1},
        {"all of them", nullptr, nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        plugin.process(c.path, c.preview, nullptr, nullptr, c.options, c.previewFlag);
        EXPECT_EQ(p, text) << c.name;
        EXPECT_EQ(none, nullptr) << c.name;
    }
    // Without a preview text the file itself is read.
    std::string old = path;
    p = old.data();
    plugin.process(&p, nullptr, nullptr, nullptr, &options, 1);
    EXPECT_EQ(std::string(p), dir.File("A - B.mp3"));
    EXPECT_TRUE(FileExists(path));

#ifndef _WIN32
    // Natively there is no window system to set up; under Windows initialize
    // would register the window class for every later test of this program.
    plugin.initialize(nullptr);
    EXPECT_EQ(plugin.showOptions(0, &noRecord, &none), 0);
    EXPECT_EQ(noRecord, nullptr);
#endif
}

// The pattern is the 256 bytes when none is NUL, and not a byte more: the
// tag source that follows it in the record never joins the name.
TEST_F(PluginExports, PatternFillingAll256Bytes) {
    const std::string filler(247, 'p');
    const std::string full = filler + "*bitrate*";
    ASSERT_EQ(full.size(), sizeof options->pattern);
    std::memcpy(options->pattern, full.data(), full.size());
    for (std::int32_t tagSource : {1, 0x41414141}) {
        options->tagSource = tagSource;
        EXPECT_EQ(Preview(path, path), dir.File(filler + "128.mp3")) << tagSource;
    }
    // The same, with the placeholder cut by the end of the record: nothing counts.
    const std::string cut = std::string(250, 'p') + "*bitrate*";
    std::memcpy(options->pattern, cut.data(), sizeof options->pattern);
    EXPECT_EQ(Preview(path, path), path);
}

TEST_F(PluginExports, TagSourcesOtherThanZeroAndOne) {
    struct Case {
        std::int32_t tagSource;
        std::string name;
    };
    const Case cases[] = {{0, "A 128.mp3"},         {1, "C 128.mp3"},          {2, "*artist* 128.mp3"},
                          {7, "*artist* 128.mp3"}, {-1, "*artist* 128.mp3"}, {INT32_MIN, "*artist* 128.mp3"}};
    for (const Case& c : cases) {
        SetPattern("*artist* *bitrate*", c.tagSource);
        EXPECT_EQ(Preview(path, path), dir.File(c.name)) << c.tagSource;
    }
    // Only tag placeholders and nothing counted: the name is kept.
    SetPattern("*artist* - *title*", 7);
    EXPECT_EQ(Preview(path, path), path);
}

TEST_F(PluginExports, PathsWithoutADirectoryOrAnMp3File) {
    // The name alone comes back alone.
    EXPECT_EQ(Preview("x.mp3", path), "A - B.mp3");
    EXPECT_EQ(Preview("X.Mp3", dir.File("missing.mp3")), "missing.mp3");

    // A rename of a path without a directory happens where the host stands.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(dir.Path()));
    std::string old = "x.mp3";
    char* p = old.data();
    plugin.process(&p, nullptr, nullptr, nullptr, &options, 0);
    const std::string renamed = p;
    std::filesystem::current_path(before);
    EXPECT_EQ(renamed, "A - B.mp3");
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"A - B.mp3"});

    // A directory alone, a folder named like an MP3 with a delimiter after it,
    // an empty text and other extensions: not MP3 files, handed back untouched.
    const std::string folderOnly = dir.Path() + kSep;
    for (const std::string& bad : {folderOnly, dir.File("y.mp3") + kSep, std::string(), std::string(".MP3") + kSep,
                                   std::string("song.wav"), std::string("song.mp3.txt"), std::string("song"),
                                   std::string("dir.mp3\\x"), dir.File("song.mp4")}) {
        std::string text = bad;
        p = text.data();
        for (std::uint8_t preview : std::initializer_list<std::uint8_t>{1, 0}) {
            plugin.process(&p, text.c_str(), nullptr, nullptr, &options, preview);
            EXPECT_EQ(p, text.data()) << "'" << bad << "'";
        }
    }
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"A - B.mp3"});
}

// A host may hand the text process returned straight back to it, as the path
// and as the preview path: the call must read it before replacing it.
TEST_F(PluginExports, ReturnedTextHandedBack) {
    std::string old = path;
    char* p = old.data();
    plugin.process(&p, p, nullptr, nullptr, &options, 1);
    ASSERT_EQ(std::string(p), dir.File("A - B.mp3"));
    char* const kept = p;
    SetPattern("*title* *bitrate*");
    // The kept text names no file yet: the analysis fails and the name stays.
    plugin.process(&p, kept, nullptr, nullptr, &options, 1);
    EXPECT_EQ(std::string(p), dir.File("A - B.mp3"));

    // Real renames, each fed the path the previous one returned; outside a
    // preview the preview text is never read.
    p = old.data();
    plugin.process(&p, nullptr, nullptr, nullptr, &options, 0);
    EXPECT_EQ(std::string(p), dir.File("B 128.mp3"));
    SetPattern("*artist* *sample*", 1);
    const std::string elsewhere = dir.File("missing.mp3");
    plugin.process(&p, elsewhere.c_str(), nullptr, nullptr, &options, 0);
    EXPECT_EQ(std::string(p), dir.File("C 44100.mp3"));
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"C 44100.mp3"});
    Bytes bytes;
    ASSERT_TRUE(ReadFile(p, bytes));
    EXPECT_TRUE(bytes == TaggedFileWithID3v1());
}

TEST_F(PluginExports, VeryLongPathTexts) {
    // Far beyond any file system's limit: no file, so the name is kept.
    const std::string longName = dir.File(std::string(100000, 'n') + ".mp3");
    EXPECT_EQ(Preview(longName, longName), longName);
    std::string text = longName;
    char* p = text.data();
    plugin.process(&p, nullptr, nullptr, nullptr, &options, 0);
    EXPECT_EQ(std::string(p), longName);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"x.mp3"});
}

}  // namespace
