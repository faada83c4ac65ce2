// The command's portable rules: arguments, masks, Windows' name rules, the
// run-order judgement of the preview, how names are printed, the journal's
// format, and when reading ahead starts threads and what a worker's open
// allows the run.
#include <gtest/gtest.h>

#include "Collect.h"
#include "CommandLine.h"
#include "Journal.h"
#include "Plan.h"
#include "ReadAhead.h"
#include "Report.h"
#include "TestSupport.h"
#include "Worker.h"
#include "platform.h"

using namespace host;

namespace {

struct TGoodArgs {
    std::vector<std::string> args;
    TAction action;
    std::string pattern;
    int tagSource;
    bool dryRun, recursive, noJournal;
    std::string journal, undoJournal;
    std::vector<std::string> paths;
};

TEST(Arguments, ValidCommandLines) {
    const std::string p(pelmora::kDefaultPattern);
    const std::vector<TGoodArgs> cases = {
        {{"a.mp3"}, TAction::Rename, p, 0, false, false, false, "", "", {"a.mp3"}},
        {{"-nr", "x", "y"}, TAction::Rename, p, 0, true, true, false, "", "", {"x", "y"}},
        {{"-p", "*title*", "-t", "ID3v1", "d"}, TAction::Rename, "*title*", 1, false, false, false, "", "", {"d"}},
        {{"-p*year*", "-tid3v2", "d"}, TAction::Rename, "*year*", 0, false, false, false, "", "", {"d"}},
        {{"-np", "*album*", "d"}, TAction::Rename, "*album*", 0, true, false, false, "", "", {"d"}},
        {{"--pattern=*x*", "--tag", "id3v1", "--dry-run", "--recursive", "d"}, TAction::Rename, "*x*", 1, true, true,
         false, "", "", {"d"}},
        {{"--journal", "j.txt", "d"}, TAction::Rename, p, 0, false, false, false, "j.txt", "", {"d"}},
        {{"--no-journal", "--", "-odd.mp3"}, TAction::Rename, p, 0, false, false, true, "", "", {"-odd.mp3"}},
        {{"--allow-posix-names", "d"}, TAction::Rename, p, 0, false, false, false, "", "", {"d"}},
        {{"-", "d"}, TAction::Rename, p, 0, false, false, false, "", "", {"-", "d"}},
        {{"--undo"}, TAction::Undo, p, 0, false, false, false, "", "", {}},
        {{"--undo", "-n", "old.journal"}, TAction::Undo, p, 0, true, false, false, "", "old.journal", {}},
        {{"--undo=old.journal"}, TAction::Undo, p, 0, false, false, false, "", "old.journal", {}},
        {{"-p", "*x*", "--help"}, TAction::Help, "*x*", 0, false, false, false, "", "", {}},
        {{"-h", "--bogus"}, TAction::Help, p, 0, false, false, false, "", "", {}},
        {{"--version"}, TAction::Version, p, 0, false, false, false, "", "", {}},
        {{"-V"}, TAction::Version, p, 0, false, false, false, "", "", {}},
    };
    for (const TGoodArgs& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        TCommand command;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(c.args, command, error)) << error;
        EXPECT_EQ(command.action, c.action);
        EXPECT_EQ(command.pattern, c.pattern);
        EXPECT_EQ(command.tagSource, c.tagSource);
        EXPECT_EQ(command.dryRun, c.dryRun);
        EXPECT_EQ(command.recursive, c.recursive);
        EXPECT_EQ(command.noJournal, c.noJournal);
        EXPECT_EQ(command.journalPath, c.journal);
        EXPECT_EQ(command.undoJournal, c.undoJournal);
        EXPECT_EQ(command.paths, c.paths);
    }
}

TEST(Arguments, BadCommandLinesSayWhy) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no file or folder"},
        {{"-n"}, "no file or folder"},
        {{"-x", "d"}, "unknown option '-x'"},
        {{"--frobnicate", "d"}, "unknown option '--frobnicate'"},
        {{"-p"}, "needs a value"},
        {{"d", "--pattern"}, "needs a value"},
        {{"-t", "id3v3", "d"}, "unknown tag 'id3v3'"},
        {{"--dry-run=yes", "d"}, "takes no value"},
        {{"-p", "", "d"}, "pattern is empty"},
        {{"--journal", "j", "--no-journal", "d"}, "exclude each other"},
        {{"--undo", "a.journal", "b.journal"}, "one journal at most"},
        {{"--undo", "-r"}, "--undo takes only"},
        {{"--undo", "-p", "*x*"}, "--undo takes only"},
        {{"--undo", "--allow-posix-names"}, "--undo takes only"},
    };
    for (const auto& [args, expected] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        TCommand command;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, command, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST(Arguments, HelpLaysOutEveryOption) {
    const std::string help = HelpText();
    // Each kind of line: a short name and a value, a value made of the tag
    // names, a long name alone, one that reaches the column, one that goes on.
    for (const char* line : {
             "\n  -p, --pattern PATTERN  name pattern (default \"*artist* - *title*\")\n",
             "\n  -t, --tag id3v2|id3v1  tag the values come from (default id3v2)\n",
             "\n      --no-journal       keep no undo journal\n",
             "\n      --allow-posix-names  take names Windows refuses where this system allows them\n",
             "\n      --undo [JOURNAL]   put back the names of a run (default: the newest not yet\n"
             "                         undone; the next --undo the one before it)\n",
             "\n  -V, --version          show the plug-in's version\n\nPlaceholders: *artist* *title*",
             "\nExamples:\n  pelmora -n -r"}) {
        EXPECT_NE(help.find(line), std::string::npos) << line;
    }
    std::size_t at = 0;
    for (const char* option : {"--pattern", "--tag", "--dry-run", "--recursive", "--allow-posix-names", "--plugin",
                               "--journal", "--no-journal", "--no-read-ahead", "--quiet", "--json", "--undo", "--history", "--help",
                               "--version"}) {
        at = help.find(std::string(option) + " ", at);
        EXPECT_NE(at, std::string::npos) << option << " in its place";
    }
}

TEST(Mask, MatchesTheDescriptorsMasks) {
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {"a.mp3", "*.mp3", true},        {"A.MP3", "*.mp3", true},       {"song.Mp3", "*.mp3", true},
        {".mp3", "*.mp3", true},         {"a.mp3x", "*.mp3", false},     {"a.mp", "*.mp3", false},
        {"mp3", "*.mp3", false},         {"a.mp3.txt", "*.mp3", false},  {"a.txt", "*.mp3; *.txt", true},
        {"x1.wav", "x?.wav", true},      {"x12.wav", "x?.wav", false},   {"Песня.MP3", "*.mp3", true},
        {"a.mp3", "", false},            {"a12b.wav", "a*b.wav", true},  {"a12c.wav", "A*B.WAV", false},
    };
    for (const auto& [name, mask, expected] : cases) {
        EXPECT_EQ(TMasks(mask).Match(name), expected) << name << " against " << mask;
    }
}

TEST(WindowsNames, RefusedCharactersAndReservedNames) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Artist - Title.mp3", ""},
        {"Who?.mp3", "\"?\""},
        {"a*b.mp3", "\"*\""},
        {"a<b>.mp3", "\"<\""},
        {"say \"hi\".mp3", "\"\"\""},
        {"a|b.mp3", "\"|\""},
        {"AC:DC.mp3", "\":\""},
        {"back\\slash.mp3", "\"\\\""},
        {std::string("tab\there.mp3"), "the control character 09"},
        {"CON.mp3", "the reserved name \"CON\""},
        {"con .mp3", "the reserved name \"CON\""},
        {"lpt9.mp3", "the reserved name \"LPT9\""},
        {"COM0.mp3", ""},
        {"CONSOLE.mp3", ""},
        {"dots.", "a name ending in \".\""},
        {std::string(251, 'x') + ".mp3", ""},
        {std::string(252, 'x') + ".mp3", "a name longer than 255 characters"},
        {"\xCF\xE5\xF1\xED\xFF.mp3", ""},  // Cyrillic in Windows-1251
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(WindowsRefusal(name), expected) << name;
}

TEST(RunPlan, JudgesInRunOrder) {
    TRunPlan plan;
    // The target stands on disk and nothing has moved it away.
    EXPECT_EQ(plan.Check("/m/a", "/m/x", true), TBlock::Exists);
    // A rename to its own key (a change of letter case on Windows) is no conflict.
    EXPECT_EQ(plan.Check("/m/a", "/m/a", true), TBlock::None);
    plan.Claim("/m/a", "/m/c");
    // A second file wanting the name the first takes stays.
    EXPECT_EQ(plan.Check("/m/b", "/m/c", false), TBlock::Collision);
    // The first file's old name is free once it has moved.
    EXPECT_EQ(plan.Check("/m/b", "/m/a", true), TBlock::None);
    plan.Claim("/m/b", "/m/a");
    EXPECT_EQ(plan.Check("/m/d", "/m/a", true), TBlock::Collision);
    EXPECT_EQ(plan.Check("/m/d", "/m/b", true), TBlock::None);
}

TEST(Journal, FieldsSurviveAnyName) {
    const std::vector<std::string> names = {"/m/plain.mp3", "/m/tab\there.mp3", "/m/line\nbreak.mp3",
                                            "/m/100%.mp3", "/m/Песня.mp3", "C:\\m\\a.mp3"};
    for (const std::string& name : names) {
        const std::string line = JournalLine("renamed", name, name + ".new");
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per step";
        std::vector<TJournalEntry> entries;
        ASSERT_TRUE(ParseJournal(std::string(kJournalHeader) + "\n" + line, entries));
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].oldPath, name);
        EXPECT_EQ(entries[0].newPath, name + ".new");
        EXPECT_EQ(entries[0].state, TEntryState::Done);
    }
}

TEST(Journal, StepsMatchUp) {
    const std::string text = std::string(kJournalHeader) + "\n# started x\n" +
                             JournalLine("renaming", "/a", "/A") + JournalLine("renamed", "/a", "/A") +
                             JournalLine("renaming", "/b", "/B") + JournalLine("failed", "/b", "/B") +
                             JournalLine("renaming", "/c", "/C") + JournalLine("renamed", "/c", "/C2") +
                             JournalLine("undone", "/c", "/C2") + "garbage line\n" + "renamed\t/x\t%G1\n" +
                             JournalLine("renaming", "/d", "/D") + "renamed\t/d";
    std::vector<TJournalEntry> entries;
    ASSERT_TRUE(ParseJournal(text, entries));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].state, TEntryState::Done);
    EXPECT_FALSE(entries[0].undone);
    EXPECT_EQ(entries[1].state, TEntryState::Failed);
    // The name the plug-in really gave wins over the one foreseen.
    EXPECT_EQ(entries[2].newPath, "/C2");
    EXPECT_TRUE(entries[2].undone);
    // A run killed in the middle leaves its last step pending and perhaps a
    // line cut short, which is passed over.
    EXPECT_EQ(entries[3].oldPath, "/d");
    EXPECT_EQ(entries[3].state, TEntryState::Pending);

    EXPECT_FALSE(ParseJournal("renamed\t/a\t/b\n", entries));
    EXPECT_FALSE(ParseJournal("", entries));
}

TEST(Journal, NewestIsTheLatestStart) {
    EXPECT_EQ(NewestJournal({}), "");
    EXPECT_EQ(NewestJournal({"notes.txt", ".journal"}), "");
    const std::string early = JournalName("2024-01-02_03-04-05.006Z", 0);
    const std::string late = JournalName("2024-01-02_03-04-05.007Z", 0);
    const std::string sameMillisecond = JournalName("2024-01-02_03-04-05.007Z", 1);
    const std::string tenth = JournalName("2024-01-02_03-04-05.007Z", 10);
    EXPECT_EQ(NewestJournal({late, early}), late);
    EXPECT_EQ(NewestJournal({sameMillisecond, late, early}), sameMillisecond);
    EXPECT_EQ(NewestJournal({sameMillisecond, tenth, late}), tenth);
    EXPECT_EQ(NewestJournal({JournalName(TimeStamp(), 0), late}).substr(0, 2), "20");
    EXPECT_LT(JournalName("2024-01-02_03-04-05.007Z", 0), JournalName(TimeStamp(), 0));
}

TEST(Journal, IdentityRoundTripsAndOldJournalsStillRead) {
    TFileId id;
    id.volume = 65024;
    id.index = 11051076;
    id.size = 5;
    id.modified = 1796788554619104673;
    id.valid = true;
    const std::string text = std::string(kJournalHeader) + "\n" + JournalLine(kKindRenamed, "/m/a", "/m/b", id) +
                             JournalLine(kKindRenamed, "/m/c", "/m/d") + "renamed\t/m/e\t/m/f\t1:2:x:4\n" +
                             kUndoneNote + "2026-01-01\n";
    TJournal journal;
    ASSERT_TRUE(ParseJournal(text, journal));
    ASSERT_EQ(journal.entries.size(), 2u) << "a line with a damaged identity is passed over";
    EXPECT_TRUE(journal.entries[0].id == id);
    EXPECT_FALSE(journal.entries[1].id.valid);
    EXPECT_TRUE(journal.undoRan);
}

// A name as the console prints it (one line, whatever it holds) and as JSON
// carries it (any byte, UTF-8 or not).
TEST(Report, NamesAsPrintedAndAsJson) {
    struct TCase {
        std::string name, printed, json;
    };
    const std::vector<TCase> cases = {
        {"plain Песня.mp3", "plain Песня.mp3", "\"plain Песня.mp3\""},
        {"tab\there\n.mp3", "tab\\x09here\\x0A.mp3", "\"tab\\u0009here\\u000a.mp3\""},
        {"del\x7F\r", "del\\x7F\\x0D", "\"del\\u007f\\u000d\""},
        {"c1\xC2\x85next", "c1\\x85next", "\"c1\\u0085next\""},  // U+0085, a line end to some terminals
        {"latin \xC2\xA0\xC3\xA9", "latin \xC2\xA0\xC3\xA9", "\"latin \xC2\xA0\xC3\xA9\""},
        {"say \"hi\" C:\\a", "say \"hi\" C:\\a", "\"say \\\"hi\\\" C:\\\\a\""},
        {"bad\xFF\xC3", "bad\xFF\xC3", "\"bad\\udcff\\udcc3\""},
        {"\xE0\x80\x80", "\xE0\x80\x80", "\"\\udce0\\udc80\\udc80\""},  // an overlong form is no UTF-8
    };
    for (const TCase& c : cases) {
        std::string out;
        THostContext context;
        context.out = [&out](const std::string& text) {
            out += text;
            return true;
        };
        TConsole(context).Out(c.name + "\n");
        EXPECT_EQ(out, c.printed + "\n") << c.name;
        EXPECT_EQ(JsonString(c.name), c.json) << c.name;
    }
}

TEST(ReadAhead, ThreadsOnlyForARunLongEnoughAndNoneOnceStopped) {
    TCommand command;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--no-read-ahead", "d"}, command, error)) << error;
    EXPECT_FALSE(command.readAhead);
    commandtest::TScratch dir;
    std::vector<TCollected> all;
    for (int i = 0; i < 40; ++i) all.push_back({dir.Write(std::to_string(i) + ".mp3", "x"), ""});
    all.push_back({dir.File("gone.mp3"), ""});
    all.push_back({dir.Folder("folder.mp3"), ""});
    const std::vector<TCollected> few(all.begin(), all.begin() + 3);
    EXPECT_EQ(TReadAhead(few, true).Threads(), 0u);
    EXPECT_EQ(TReadAhead(all, false).Threads(), 0u);
    TReadAhead readAhead(all, true);
    EXPECT_GT(readAhead.Threads(), 0u);
    for (std::size_t i = 0; i < all.size(); i += 2) readAhead.Reach(i);  // files passed over too
    readAhead.Stop();
    EXPECT_EQ(readAhead.Threads(), 0u);
}

// On Windows a move fails while another handle lacks FILE_SHARE_DELETE: a
// worker's open must let the plug-in open, move and the run remove the file.
TEST(ReadAhead, FileAWorkerHoldsCanBeOpenedMovedAndRemoved) {
    commandtest::TScratch dir;
    const std::string path = dir.Write("held.mp3", "held");
    TBaseFolder base;
    TWorkerFile held;
    ASSERT_TRUE(held.Open(base, path));
    char byte = 0;
    EXPECT_EQ(held.ReadAt(0, &byte, 1), 1u);
    std::string ansi;
    ASSERT_TRUE(platform::Utf8ToAnsi(path, ansi));
    platform::ReadOnlyFile plugin;
    EXPECT_TRUE(plugin.Open(ansi.c_str()));
    plugin.Close();
    const std::string moved = dir.File("moved.mp3");
    EXPECT_TRUE(platform::MoveNoReplaceUtf8(path, moved));
    EXPECT_TRUE(RemoveFile(moved));
    held.Close();
    EXPECT_FALSE(held.Open(base, path)) << "gone";
    EXPECT_FALSE(held.Open(base, dir.Folder("folder.mp3"))) << "only regular files";
}

}  // namespace
