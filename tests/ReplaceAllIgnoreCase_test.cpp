// Placeholder substitution: letter case ignored by the ANSI rules, leftmost
// first, no overlap, and inserted text never matched again in the same call.
#include <gtest/gtest.h>

#include "NameBuilder.h"

namespace {

TEST(ReplaceAllIgnoreCase, Table) {
    struct Case {
        const char* text;
        const char* search;
        const char* replacement;
        const char* result;
        bool found;
    };
    const Case cases[] = {
        {"*artist* - *title*", "*artist*", "A", "A - *title*", true},
        {"*ARTIST*/*Artist*", "*artist*", "x", "x/x", true},
        {"no placeholder", "*artist*", "x", "no placeholder", false},
        {"*title*", "*title*", "*title*", "*title*", true},          // inserted text is not searched again
        {"*title**title*", "*title*", "<*title*>", "<*title*><*title*>", true},
        {"aaaa", "aa", "a", "aa", true},                              // no overlap
        {"aaa", "aa", "b", "ba", true},
        {"song.mp3.Mp3", ".mp3", "", "song", true},
        {"a.mp3b.MP3", ".MP3", "", "ab", true},
        {"\xCF\xE5\xF1\xED\xFF", "\xEF\xE5\xF1\xED\xFF", "S", "S", true},  // Песня / песня
        {"\xA8\xEB\xEA\xE0", "\xB8", "e", "e\xEB\xEA\xE0", true},          // Ё matches ё
        {"", "*artist*", "x", "", false},
        {"x", "", "y", "x", false},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(pelmora::ReplaceAllIgnoreCase(text, c.search, c.replacement), c.found) << c.text << " / " << c.search;
        EXPECT_EQ(text, c.result) << c.text << " / " << c.search;
    }
}

TEST(ReplaceAllIgnoreCase, ZeroBytesOfTheTextAreKept) {
    std::string text("a\0*year*\0b", 10);
    EXPECT_TRUE(pelmora::ReplaceAllIgnoreCase(text, "*YEAR*", "1999"));
    EXPECT_EQ(text, std::string("a\0" "1999\0b", 8));
}

}  // namespace
