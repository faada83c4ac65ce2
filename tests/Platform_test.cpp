// The platform layer must give the same answers in both builds: the native
// tables stand in for the system's ANSI code page 1251.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileSource.h"
#include "TestFiles.h"
#include "platform.h"

using namespace testing_support;

namespace {

TEST(Platform, SixteenBitUnitsToCodePage1251) {
    struct Case {
        std::uint16_t unit;
        const char* ansi;
    };
    const Case cases[] = {
        {0x0041, "A"},    {0x007E, "~"},    {0x0410, "\xC0"}, {0x044F, "\xFF"}, {0x0401, "\xA8"},
        {0x0451, "\xB8"}, {0x20AC, "\x88"}, {0x2116, "\xB9"}, {0x00A0, "\xA0"}, {0x0490, "\xA5"},
        {0x0098, "\x98"}, {0x00E9, "?"},    {0x263A, "?"},    {0xFFFE, "?"},    {0xD83D, "?"},
        {0x00C4, "?"},    {0x0416, "\xC6"}, {0x2014, "\x97"},
    };
    std::string all;
    for (const Case& c : cases) {
        std::string ansi;
        platform::AppendWideUnitAnsi(ansi, c.unit);
        EXPECT_EQ(ansi, c.ansi) << std::hex << c.unit;
        all += ansi;
    }
    // A batch of units gives what unit by unit gives.
    std::vector<std::uint16_t> units;
    for (const Case& c : cases) units.push_back(c.unit);
    std::string batch = "x";
    platform::AppendWideUnitsAnsi(batch, units.data(), units.size());
    EXPECT_EQ(batch, "x" + all);

    // Over every unit: the 255 non-zero bytes each stand for exactly one unit,
    // the one they are read back as.
    int mapped = 0;
    for (std::uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
        std::string ansi;
        platform::AppendWideUnitAnsi(ansi, static_cast<std::uint16_t>(unit));
        if (ansi == "?" && unit != '?') continue;
        ++mapped;
        // Appended byte by byte: a list assignment draws a false -Wrestrict from GCC 12.
        std::string utf8;
        if (unit < 0x80) {
            utf8.push_back(static_cast<char>(unit));
        } else if (unit < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | unit >> 6));
            utf8.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xE0 | unit >> 12));
            utf8.push_back(static_cast<char>(0x80 | (unit >> 6 & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
        EXPECT_EQ(platform::AnsiToUtf8(ansi), utf8) << std::hex << unit;
    }
    EXPECT_EQ(mapped, 255);
}

TEST(Platform, EveryByteOfTheUpperHalfSurvivesUtf8AndBack) {
    for (int b = 0x20; b < 0x100; ++b) {
        const std::string ansi(1, static_cast<char>(b));
        std::string back;
        ASSERT_TRUE(platform::Utf8ToAnsi(platform::AnsiToUtf8(ansi), back)) << b;
        EXPECT_EQ(back, ansi) << b;
    }
}

TEST(Platform, Utf8ThatTheCodePageCannotHoldIsRefused) {
    std::string ansi;
    EXPECT_TRUE(platform::Utf8ToAnsi("\xD0\x9F\xD1\x80\xD0\xB8", ansi));  // "При"
    EXPECT_EQ(ansi, "\xCF\xF0\xE8");
    for (const char* refused : {"caf\xC3\xA9", "\xE2\x98\xBA", "\xF0\x9F\x8E\xB5", "\xC3", "\xC0\x80", "\xFF"}) {
        EXPECT_FALSE(platform::Utf8ToAnsi(refused, ansi)) << refused;
    }
}

TEST(Platform, LetterCaseKeepsLengthAndMapsCyrillic) {
    struct Case {
        const char* text;
        const char* upper;
        const char* lower;
    };
    const Case cases[] = {
        {"abcXYZ019", "ABCXYZ019", "abcxyz019"},
        {"\xE0\xFF\xC0\xDF", "\xC0\xDF\xC0\xDF", "\xE0\xFF\xE0\xFF"},  // а я А Я
        {"\xB8\xA8", "\xA8\xA8", "\xB8\xB8"},                          // ё Ё
        {"\xA2\xB4\x9A\x90", "\xA1\xA5\x8A\x80", "\xA2\xB4\x9A\x90"},  // ў ґ љ ђ
        {"\xB5\xAB\x88", "\xB5\xAB\x88", "\xB5\xAB\x88"},              // µ « € have no other case here
        {".mP3", ".MP3", ".mp3"},
    };
    for (const Case& c : cases) {
        std::string upper = c.text;
        std::string lower = c.text;
        platform::ToUpperAnsi(upper.data(), upper.size());
        platform::ToLowerAnsi(lower.data(), lower.size());
        EXPECT_EQ(upper, c.upper) << c.text;
        EXPECT_EQ(lower, c.lower) << c.text;
    }
}

TEST(Platform, MoveNeverReplacesAnExistingFile) {
    TempDir dir;
    const std::string a = dir.Write("a.mp3", {1, 2, 3});
    const std::string b = dir.Write("b.mp3", {4, 5});
    EXPECT_FALSE(platform::MoveNoReplace(a.c_str(), b.c_str()));
    Bytes bytes;
    ASSERT_TRUE(ReadFile(b, bytes));
    EXPECT_EQ(bytes, (Bytes{4, 5}));
    ASSERT_TRUE(ReadFile(a, bytes));
    EXPECT_EQ(bytes, (Bytes{1, 2, 3}));

    EXPECT_TRUE(platform::MoveNoReplace(a.c_str(), a.c_str()));  // onto itself: nothing to do
    const std::string cyrillic = dir.File("\xCF\xE5\xF1\xED\xFF.mp3");  // "Песня"
    EXPECT_TRUE(platform::MoveNoReplace(a.c_str(), cyrillic.c_str()));
    EXPECT_FALSE(FileExists(a));
    ASSERT_TRUE(ReadFile(cyrillic, bytes));
    EXPECT_EQ(bytes, (Bytes{1, 2, 3}));
    EXPECT_FALSE(platform::MoveNoReplace(dir.File("missing.mp3").c_str(), dir.File("c.mp3").c_str()));
    EXPECT_FALSE(FileExists(dir.File("c.mp3")));
}

TEST(Platform, ReadOnlyFileReadsAtOffsetsAndRefusesFolders) {
    TempDir dir;
    Bytes content(100000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = dir.Write("\xD2\xE5\xF1\xF2.mp3", content);  // "Тест"

    platform::ReadOnlyFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    std::int64_t size = 0;
    ASSERT_TRUE(file.Size(size));
    EXPECT_EQ(size, 100000);
    std::uint8_t buffer[16];
    std::size_t got = 0;
    ASSERT_TRUE(file.ReadAt(99990, buffer, sizeof buffer, got));
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(buffer[0], content[99990]);
    EXPECT_FALSE(file.ReadAt(-1, buffer, sizeof buffer, got));
    ASSERT_TRUE(file.ReadAt(200000, buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);
    file.Close();
    EXPECT_FALSE(file.IsOpen());

    const std::string folder = dir.File("folder.mp3");
    ASSERT_TRUE(MakeDir(folder));
    EXPECT_FALSE(file.Open(folder.c_str()));
    EXPECT_FALSE(file.Open(dir.File("missing.mp3").c_str()));
}

TEST(FileSource, CachedReadsGiveTheFilesBytesAnywhere) {
    TempDir dir;
    Bytes content(3 * TFileSource::kWindowSize + 123);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>((i * 131) >> 3);
    const std::string path = dir.Write("x.mp3", content);

    TFileSource source;
    ASSERT_TRUE(source.Open(path.c_str()));
    std::int64_t size = 0;
    ASSERT_TRUE(source.Size(size));
    ASSERT_EQ(size, static_cast<std::int64_t>(content.size()));
    // Offsets around both windows' edges, reads larger than a window, past the end.
    const std::pair<std::int64_t, std::size_t> reads[] = {
        {0, 10},     {5, 3458},    {32760, 16},  {32768, 1},  {size - 128, 128}, {size - 3586, 3458},
        {size - 5000, 4000}, {1000, 70000}, {size - 3, 10}, {size, 4}, {12345, 0}, {size - 4096, 4096},
    };
    for (const auto& [offset, count] : reads) {
        Bytes out(count, 0xEE);
        std::size_t got = 0;
        ASSERT_TRUE(source.ReadAt(offset, out, got)) << offset;
        const std::size_t expected =
            offset >= size ? 0 : std::min<std::size_t>(count, static_cast<std::size_t>(size - offset));
        ASSERT_EQ(got, expected) << offset;
        for (std::size_t i = 0; i < got; ++i) ASSERT_EQ(out[i], content[static_cast<std::size_t>(offset) + i]) << offset << "+" << i;
    }
    Bytes out(4);
    std::size_t got = 0;
    EXPECT_FALSE(source.ReadAt(-4, out, got));
}

}  // namespace
