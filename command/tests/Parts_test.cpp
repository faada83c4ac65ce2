// The command's portable rules: arguments, masks, Windows' name rules, the
// run-order judgement of the preview, how names are printed, the journal's
// format, and when reading ahead starts threads and what a worker's open
// allows the run.
#include <gtest/gtest.h>

#include "Collect.h"
#include "CommandLine.h"
#include "Journal.h"
#include "NameSense.h"
#include "Plan.h"
#include "ReadAhead.h"
#include "Report.h"
#include "TestSupport.h"
#include "Worker.h"
#include "platform.h"

using namespace host;

namespace {

// A command in one line: its job, then what differs from the defaults.
std::string Described(const TCommand& c) {
    static const char* const kActions[] = {"rename", "undo", "history", "help", "version"};
    std::string text = kActions[static_cast<int>(c.action)];
    if (c.pattern != pelmora::kDefaultPattern) text += " p=" + c.pattern;
    if (c.tagSource != 0) text += " t=" + std::to_string(c.tagSource);
    const std::pair<bool, const char*> flags[] = {
        {c.dryRun, " n"}, {c.recursive, " r"}, {c.noJournal, " no-journal"}, {c.json, " json"}, {c.quiet, " q"},
        {c.allowPosixNames, " posix"}, {c.keepEmpty, " keep"}, {!c.readAhead, " no-read-ahead"}};
    for (const auto& [on, name] : flags) text += on ? name : "";
    const std::pair<const std::string*, const char*> values[] = {
        {&c.pluginPath, " plugin="}, {&c.journalPath, " journal="}, {&c.undoJournal, " undo="}};
    for (const auto& [value, name] : values) text += value->empty() ? "" : name + *value;
    for (const std::string& path : c.paths) text += " [" + path + "]";
    return text;
}

TEST(Arguments, ValidCommandLines) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"a.mp3"}, "rename [a.mp3]"},
        {{"-nr", "x", "y"}, "rename n r [x] [y]"},
        {{"-p", "*title*", "-t", "ID3v1", "d"}, "rename p=*title* t=1 [d]"},
        {{"-p*year*", "-tid3v2", "d"}, "rename p=*year* [d]"},
        {{"-np", "*album*", "d"}, "rename p=*album* n [d]"},
        {{"--pattern=*x*", "--tag", "id3v1", "--dry-run", "--recursive", "d"}, "rename p=*x* t=1 n r [d]"},
        {{"--journal", "j.txt", "--plugin=x.so", "d"}, "rename plugin=x.so journal=j.txt [d]"},
        {{"--no-journal", "--", "-odd.mp3"}, "rename no-journal [-odd.mp3]"},
        {{"--allow-posix-names", "--keep-empty", "-q", "--json", "--no-read-ahead", "d"},
         "rename json q posix keep no-read-ahead [d]"},
        {{"-", "d"}, "rename [-] [d]"},
        {{"--undo"}, "undo"},
        {{"--undo", "-n", "old.journal"}, "undo n undo=old.journal"},
        {{"--undo=old.journal"}, "undo undo=old.journal"},
        {{"--history"}, "history"},
        {{"-p", "*x*", "--help"}, "help p=*x*"},
        {{"-h", "--bogus"}, "help"},
        {{"--version"}, "version"},
        {{"-V"}, "version"},
    };
    for (const auto& [args, expected] : cases) {
        TCommand command;
        std::string error;
        EXPECT_TRUE(ParseCommandLine(args, command, error)) << error;
        EXPECT_EQ(Described(command), expected) << ::testing::PrintToString(args);
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
        {{"--history", "d"}, "--history takes no other option"},
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
             "                         undone, or the one whose undo left files alone)\n",
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

// The probe is skipped only where some value cannot have been empty.
TEST(NameSense, ProbesOnlyNamesEmptyValuesCouldGive) {
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        {"*artist* - *title* *bitrate* *time*", "Love Fire - Rain 67 00.04.mp3", false},
        {"*artist* - *title* *bitrate* *time*", " -  128 03.12.mp3", true},
        {"*artist* - *title* *bitrate* *time*", " - Mono Stereo 128 03.12.mp3", true},
        {"*artist* - *title* *bitrate* *time*", "NOTAG - NOTAG 188 00.07.mp3", true},
        {"*artist* *bitrate*", "Zed 128.mp3", false},
        {"*title* *filename*", "Zed track01.mp3", true},
        {"*track* *title*", "0 Title.mp3", false},
    };
    for (const auto& [pattern, name, probed] : cases) {
        EXPECT_EQ(TNameSense(pattern, 0).WantsProbe(name), probed) << name << " from " << pattern;
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

TFileId SomeId(std::uint64_t index) {
    TFileId id;
    id.volume = 65024;
    id.index = index;
    id.size = 5;
    id.modified = -1796788554619104673;
    id.valid = true;
    return id;
}

std::string Journal(const std::string& lines) { return std::string(kJournalHeader) + "\n# started x\n" + lines; }

TEST(Journal, FieldsAndIdentitySurviveAnyName) {
    const std::vector<std::string> names = {"/m/plain.mp3", "/m/tab\there.mp3", "/m/line\nbreak.mp3",
                                            "/m/100%.mp3", "/m/Песня.mp3", "C:\\m\\a.mp3"};
    for (const std::string& name : names) {
        const std::string line = JournalLine(kKindRenamed, name, name + ".new", SomeId(7));
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per step";
        TJournal journal;
        ASSERT_TRUE(journal.Parse(Journal(line)));
        ASSERT_EQ(journal.Entries().size(), 1u);
        EXPECT_EQ(journal.Entries()[0].oldPath, name);
        EXPECT_EQ(journal.Entries()[0].newPath, name + ".new");
        EXPECT_EQ(journal.Entries()[0].state, TEntryState::Done);
        EXPECT_TRUE(journal.Entries()[0].id == SomeId(7));
        EXPECT_TRUE(journal.Problems().empty());
    }
}

TEST(Journal, StepsMatchUp) {
    const TFileId a = SomeId(1), b = SomeId(2), c = SomeId(3);
    TJournal journal;
    ASSERT_TRUE(journal.Parse(Journal(JournalLine(kKindRenaming, "/a", "/A", a) + JournalLine(kKindRenamed, "/a", "/A", a) +
                                      JournalLine(kKindRenaming, "/b", "/B", b) + JournalLine(kKindFailed, "/b", "/B") +
                                      JournalLine(kKindRenaming, "/c", "/C", c) + JournalLine(kKindRenamed, "/c", "/C2", c) +
                                      JournalLine(kKindUndone, "/c", "/C2") + JournalLine(kKindRenaming, "/d", "/D", a))));
    const std::vector<TJournalEntry>& e = journal.Entries();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].state, TEntryState::Done);
    EXPECT_FALSE(e[0].undone);
    EXPECT_EQ(e[1].state, TEntryState::Failed);
    EXPECT_EQ(e[2].newPath, "/C2") << "the name the plug-in really gave wins over the one foreseen";
    EXPECT_TRUE(e[2].undone);
    EXPECT_EQ(e[3].state, TEntryState::Pending) << "a run stopped between its line and the move";
    EXPECT_FALSE(journal.UndoRan());
    EXPECT_FALSE(journal.Damaged());
}

TEST(Journal, NamesSortByTheirStart) {
    EXPECT_EQ(JournalsInOrder({"notes.txt", ".journal"}), std::vector<std::string> {});
    const std::string early = JournalName("2024-01-02_03-04-05.006Z", 0);
    const std::string late = JournalName("2024-01-02_03-04-05.007Z", 0);
    const std::string sameMillisecond = JournalName("2024-01-02_03-04-05.007Z", 1);
    const std::string tenth = JournalName("2024-01-02_03-04-05.007Z", 10);
    EXPECT_EQ(JournalsInOrder({tenth, late, sameMillisecond, early}),
              (std::vector<std::string> {early, late, sameMillisecond, tenth}));
    EXPECT_EQ(JournalsInOrder({JournalName(TimeStamp(), 0), late}).back().substr(0, 2), "20");
    EXPECT_EQ(JournalStart(sameMillisecond), "2024-01-02 03:04:05");
    EXPECT_EQ(JournalStart("mine.journal"), "mine");
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
        {"cut\xE0\x01\x85\xC2", "cut\xE0\\x01\x85\xC2", "\"cut\\udce0\\u0001\\udc85\\udcc2\""},
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

// Turns of a run in phases: each phase twenty of each kind, in microseconds.
TEST(ReadAhead, ChoiceFollowsTheTurnsAndSettlesWhereTheySwing) {
    struct TPhase {
        long long read, unread;
    };
    constexpr TPhase kCold {40, 150}, kWarm {10, 11}, kCloseCold {10, 30};
    const struct {
        const char* name;
        std::vector<TPhase> phases;
        bool paused;
    } cases[] = {
        {"cold: the disk answers faster ahead", {kCold}, false},
        {"warm: reading ahead gains nothing", {kWarm}, true},
        {"warm, then a folder not yet cached", {kWarm, kCold}, false},
        {"a gap of microseconds pays for no workers", {kWarm, kCloseCold}, true},
        {"a second restart", {kWarm, kCold, kWarm, kCold}, false},
        {"no third", {kWarm, kCold, kWarm, kCold, kWarm, kCold}, true},
    };
    for (const auto& c : cases) {
        TReadAheadChoice choice;
        for (const TPhase& phase : c.phases) {
            for (int i = 0; i < 20; ++i) {
                choice.Learn(true, phase.read * 1000);
                choice.Learn(false, phase.unread * 1000);
            }
        }
        EXPECT_EQ(choice.Paused(), c.paused) << c.name;
    }
}

TEST(ReadAhead, ThreadsOnlyForARunLongEnoughAndNoneOnceStopped) {
    commandtest::TScratch dir;
    std::vector<TCollected> all;
    for (int i = 0; i < 40; ++i) all.push_back({dir.Write(std::to_string(i) + ".mp3", "x"), "", ""});
    all.push_back({dir.File("gone.mp3"), "", ""});
    all.push_back({dir.Folder("folder.mp3"), "", ""});
    const std::vector<TCollected> few(all.begin(), all.begin() + 3);
    EXPECT_EQ(TReadAhead(few, true).Threads(), 0u);
    EXPECT_EQ(TReadAhead(all, false).Threads(), 0u);
    // Files just written are in the cache, where the system can tell.
    TBaseFolder base;
    TWorkerFile first;
    char byte = 0;
    const bool told = first.Open(base, all[0].path) && first.InCache(0, &byte, 1);
    EXPECT_EQ(TReadAhead(all, true).Threads() == 0, told);
    TReadAhead readAhead(all, true, true);
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
