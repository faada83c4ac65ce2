// The whole command run in-process against the stand-in plug-in: what it
// prints, what it renames, its exit status, its journal and undo.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "Journal.h"
#include "Report.h"
#include "System.h"
#include "TestSupport.h"

using namespace commandtest;

namespace {

const bool kWindows = host::kPathDelimiter == '\\';

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The journals of a state folder, which also holds the lock.
std::vector<std::string> JournalsIn(const std::string& folder) {
    std::vector<std::string> journals = Names(folder);
    journals.erase(std::remove_if(journals.begin(), journals.end(), [](const std::string& n) { return !Has(n, ".journal"); }),
                   journals.end());
    return journals;
}

// The "old -> new" lines of the renames a run makes (or would), without marks.
std::vector<std::string> Renames(const std::string& out) {
    std::vector<std::string> renames;
    for (const std::string& line : Lines(out)) {
        if (Has(line, " -> ") && !Has(line, ": stays]")) renames.push_back(line.substr(0, line.find("  [")));
    }
    return renames;
}

std::string Arrow(const TScratch& dir, const std::string& from, const std::string& to) {
    return dir.File(from) + " -> " + dir.File(to);
}

// A folder where every kind of mark arises once, plus a chain of renames that
// only works in run order.
void MakeMarkedLibrary(const TScratch& dir) {
    dir.Write("a.mp3", "Alpha");
    dir.Write("b.mp3", "Alpha");     // the same name as a.mp3: stays
    dir.Write("c.mp3", "Keep");      // Keep.mp3 exists: stays
    dir.Write("Keep.mp3", "");       // no title: unchanged
    dir.Write("d.mp3", "Who?");      // Windows refuses "?"
    dir.Write("e.mp3", "");          // unchanged
    dir.Write("f.mp3", "Gamma");
    dir.Write("g.mp3", "f");         // takes f.mp3, which f.mp3 has left by then
    dir.Folder("Held.mp3");          // a name taken by what is no file of the run
    dir.Write("h.mp3", "Held");      // stays
}

TEST(Run, PreviewMarksWhatTheRealRunCannotDo) {
    TScratch dir;
    MakeMarkedLibrary(dir);
    const std::vector<std::string> before = Names(dir.Path());

    const TRun preview = RunWithTestPlugin({"-n", "-p", "*title*", dir.Path()});
    EXPECT_EQ(preview.status, 1) << "a real run would leave files in place";
    EXPECT_EQ(Names(dir.Path()), before) << "a preview renames nothing";
    const std::vector<std::string> lines = Lines(preview.out);
    auto line = [&](const std::string& from, const std::string& to) {
        const std::string start = Arrow(dir, from, to);
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
        return found == lines.end() ? std::string("(missing)") : *found;
    };
    EXPECT_EQ(line("a.mp3", "Alpha.mp3"), Arrow(dir, "a.mp3", "Alpha.mp3"));
    EXPECT_TRUE(Has(line("b.mp3", "Alpha.mp3"), "[an earlier file takes this name: stays]")) << preview.out;
    EXPECT_TRUE(Has(line("c.mp3", "Keep.mp3"), "[exists already: stays]")) << preview.out;
    EXPECT_TRUE(Has(line("h.mp3", "Held.mp3"), "[exists already: stays]")) << preview.out;
    EXPECT_TRUE(Has(line("d.mp3", "Who?.mp3"), "[Windows refuses \"?\": stays]")) << preview.out;
    EXPECT_EQ(line("g.mp3", "f.mp3"), Arrow(dir, "g.mp3", "f.mp3"));
    EXPECT_TRUE(Has(preview.out, "9 seen, 3 to rename, 2 unchanged, 0 failed, 1 skipped; marked: 4 would stay, 1 with")) << preview.out;

    TScratch state;
    const TRun real = RunWithTestPlugin({"-p", "*title*", dir.Path()}, state.Path());
    EXPECT_EQ(real.status, 1);
    // The preview told the truth: the same renames, and only those, happened.
    EXPECT_EQ(Renames(real.out), Renames(preview.out));
    EXPECT_EQ(Read(dir.File("b.mp3")), "Alpha");
    EXPECT_EQ(Read(dir.File("Keep.mp3")), "") << "an existing file is never replaced";
    EXPECT_EQ(Read(dir.File("f.mp3")), "f");
    EXPECT_EQ(Read(dir.File("Gamma.mp3")), "Gamma");
    EXPECT_TRUE(Has(real.err, "b.mp3: not renamed to")) << real.err;
    EXPECT_TRUE(Has(real.out, "9 seen, 3 renamed, 2 unchanged, 4 failed, 1 skipped; 1 with a name Windows refuses")) << real.out;

    // Undo takes the chain back newest first: every file under its first name.
    const TRun undo = RunWithTestPlugin({"--undo"}, state.Path());
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(Names(dir.Path()), before);
    for (const char* name : {"a.mp3", "b.mp3", "f.mp3", "g.mp3", "d.mp3"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(Read(dir.File(name)), "");
    }
    EXPECT_EQ(Read(dir.File("g.mp3")), "f");
    EXPECT_EQ(Read(dir.File("f.mp3")), "Gamma");
}

TEST(Run, OptionsRecordReachesThePlugin) {
    TScratch dir;
    dir.Write("a.mp3", "Alpha");
    dir.Write("b.mp3", "Beta");
    TTestPluginProbe probe;
    const TRun v1 = RunWithTestPlugin({"--no-journal", "-t", "id3v1", "-p", "*tag*-*title*", dir.File("a.mp3")});
    const TRun v2 = RunWithTestPlugin({"--no-journal", "-p", "*tag*-*title*", dir.File("b.mp3")});
    EXPECT_EQ(v1.status, 0) << v1.err;
    EXPECT_EQ(v2.status, 0) << v2.err;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"0-Beta.mp3", "1-Alpha.mp3"}));
    EXPECT_EQ(probe.OutstandingRecords(), 0) << "every record from newOpt goes back through freeOpt";
    EXPECT_TRUE(Has(v1.out, "1 seen, 1 renamed, 0 unchanged, 0 failed")) << v1.out;
}

// Names travel to the plug-in in Windows-1251; a name beyond it is left
// alone, and a folder beyond it still renames its files, handed over by name.
TEST(Run, NamesTravelAsWindows1251) {
    TScratch dir, state;
    const std::string sep(1, host::kPathDelimiter);
    dir.Write("Песня.mp3", "\xC3\xE8\xEC\xED");  // "Гимн" in Windows-1251, as a tag would give it
    dir.Write("日本.mp3", "Alpha");
    const std::string folder = dir.Folder("Björk 日本");
    dir.Write("Björk 日本" + sep + "a.mp3", "Alpha");
    dir.Write("Björk 日本" + sep + "ü.mp3", "Beta");  // ü fits no more than 日 does
    const TRun run = RunWithTestPlugin({"-p", "*title*", dir.Path(), "-r"}, state.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.out, "Песня.mp3 -> ")) << run.out;
    EXPECT_TRUE(Has(run.out, folder + sep + "a.mp3 -> " + folder + sep + "Alpha.mp3\n")) << run.out;
    EXPECT_TRUE(Has(run.err, "日本.mp3: the name cannot be written in Windows-1251")) << run.err;
    EXPECT_TRUE(Has(run.err, "ü.mp3: the name cannot be written in Windows-1251")) << run.err;
    EXPECT_TRUE(Has(run.out, "4 seen, 2 renamed, 0 unchanged, 2 failed")) << run.out;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Björk 日本", "Гимн.mp3", "日本.mp3"}));
    EXPECT_EQ(Read(dir.File("日本.mp3")), "Alpha");
    EXPECT_EQ(Names(folder), (std::vector<std::string> {"Alpha.mp3", "ü.mp3"}));
    EXPECT_EQ(RunWithTestPlugin({"--undo"}, state.Path()).status, 0);
    EXPECT_EQ(Names(folder), (std::vector<std::string> {"a.mp3", "ü.mp3"}));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Björk 日本", "Песня.mp3", "日本.mp3"}));
}

TEST(Run, FoldersMissingFilesAndOtherFiles) {
    TScratch dir;
    const std::string folder = dir.Folder("x.mp3");
    dir.Write("x.mp3" + std::string(1, host::kPathDelimiter) + "in.mp3", "Inner");
    dir.Write("notes.txt", "Text");

    const TRun flat = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.Path()});
    EXPECT_EQ(flat.status, 0) << flat.err;
    EXPECT_TRUE(Has(flat.err, "x.mp3: a folder, not a file; left alone")) << flat.err;
    EXPECT_EQ(Names(folder), std::vector<std::string> {"in.mp3"});
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"notes.txt", "x.mp3"}));

    const TRun other = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.File("notes.txt")});
    EXPECT_EQ(other.status, 0);
    EXPECT_TRUE(Has(other.err, "notes.txt: not a file the plug-in handles (*.mp3)")) << other.err;

    const TRun missing = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.File("gone.mp3")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.err, "gone.mp3: no such file or folder")) << missing.err;

    // With -r the folder's file too, once however often it is named.
    const TRun deep = RunWithTestPlugin(
        {"--no-journal", "-r", "-p", "*title*", dir.Path(), folder + host::kPathDelimiter + "in.mp3"});
    EXPECT_EQ(deep.status, 0) << deep.err;
    EXPECT_TRUE(Has(deep.out, "1 seen, 1 renamed")) << deep.out;
    EXPECT_EQ(Names(folder), std::vector<std::string> {"Inner.mp3"});
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"notes.txt", "x.mp3"}));
}

TEST(Run, UsageAndPluginErrors) {
    TScratch dir;
    dir.Write("a.mp3", "Alpha");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--plugin", dir.File("none.so"), dir.Path()}, "cannot load the plug-in"},
        {{"--plugin", dir.File("a.mp3"), dir.Path()}, "cannot load the plug-in"},
        {{"--plugin", dir.File("none.so"), "--version"}, "cannot load the plug-in"},
        {{"-p", std::string(257, 'x'), dir.Path()}, "longer than 256 bytes"},
        {{"-p", "*title* 日本", dir.Path()}, "the pattern holds a character"},
    };
    for (const auto& [args, expected] : cases) {
        const TRun run = commandtest::Run(args);
        EXPECT_EQ(run.status, 2) << expected;
        EXPECT_TRUE(Has(run.err, expected)) << run.err;
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string> {"a.mp3"});
    // A pattern may fill all 256 bytes; the name it gives is too long for any disk.
    const TRun longest = RunWithTestPlugin({"-n", "-p", std::string(249, 'x') + "*title*", dir.Path()});
    EXPECT_EQ(longest.status, 1) << longest.err;
    EXPECT_TRUE(Has(longest.out, kWindows ? "Alpha.mp3  [Windows refuses a name longer than 255 characters: stays]"
                                          : "Alpha.mp3  [Windows refuses a name longer than 255 characters; name too long: stays]"))
        << longest.out;

    const TRun version = RunWithTestPlugin({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "pelmora 0.9.test (Test names by Host tests, handles *.mp3)\n");
}

// Names Windows refuses stay in every build unless --allow-posix-names takes
// them where the system allows; a name of nothing but the extension stays even then.
TEST(Run, NamesWindowsRefusesStayUnlessAllowed) {
    TScratch dir;
    const std::string who = dir.Write("f.mp3", "Who?");
    const TRun empty = RunWithTestPlugin({"-n", "--allow-posix-names", "-p", "*empty*", who});
    EXPECT_TRUE(Has(empty.out, "[no name before the extension: stays]")) << empty.out;
    const TRun posix = RunWithTestPlugin({"--no-journal", "--allow-posix-names", "-p", "*title*", who});
    if (kWindows) {
        EXPECT_EQ(posix.status, 1) << "Windows itself refuses the name";
    } else {
        EXPECT_EQ(posix.status, 0) << posix.err;
        EXPECT_TRUE(Has(posix.out, "Who?.mp3  [Windows refuses \"?\"]\n")) << posix.out;
    }
}

// Each segment of a pattern that names folders is judged on its own, by
// the same rules on both systems; the file stays where one is refused.
TEST(Organise, FolderNamesThatCannotStandLeaveTheFileInPlace) {
    const std::string longName(256, 'x');
    const struct {
        std::string pattern, title, mark;
    } cases[] = {
        {"*empty*/*title*", "Alpha", "[the folder name from \"*empty*\" is empty: stays]"},
        {"*empty*/*title*", "a", "[the folder name from \"*empty*\" is empty: stays]"},  // its own name
        {"../*title*", "Alpha", "[the pattern leads above "},
        {"*title*/*title*", "...", "[the folder name \"...\" is empty or only dots and spaces: stays]"},
        {"*title*/x", "T.N.T.", "[Windows refuses a name ending in \".\" in the folder \"T.N.T.\": stays]"},
        {"*title*\\x", "con.txt", "[Windows refuses the reserved name \"CON\" in the folder \"con.txt\": stays]"},
        {"*title*/x", longName, "[a folder name of 256 bytes (at most 255): stays]"},
        {"x/*title*", longName, "[a name of 260 bytes (at most 255): stays]"},
    };
    for (const auto& c : cases) {
        TScratch dir;
        dir.Write("a.mp3", c.title);
        const TRun run = RunWithTestPlugin({"--no-journal", "-p", c.pattern, dir.Path()});
        EXPECT_EQ(run.status, 1) << c.pattern;
        EXPECT_TRUE(Has(run.err, c.mark)) << c.pattern << ": " << run.err;
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string> {"a.mp3"}) << c.pattern;
    }
}

TEST(Organise, FilesGoUnderTheirArgumentAndUndoTakesTheFoldersBack) {
    TScratch dir, state;
    const std::string sep(1, host::kPathDelimiter);
    dir.Folder("old");
    dir.Folder("kept");
    dir.Folder("Abba");
    dir.Write("old" + sep + "a.mp3", "ABBA");      // into Abba, spelled as the disk has it
    dir.Write("kept" + sep + "c.mp3", "Cello");
    dir.Write("kept" + sep + "cover.jpg", "");      // holds the folder
    dir.Write("d.mp3", "Delta");
    const std::vector<std::string> before = Names(dir.Path());

    const TRun preview = RunWithTestPlugin({"-n", "-r", "-p", "*title*/*title* *tag*", dir.Path()}, state.Path());
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_TRUE(Has(preview.out, "+ " + dir.File("Cello") + sep + "\n")) << preview.out;
    EXPECT_TRUE(Has(preview.out, "- " + dir.File("old") + sep + "\n")) << preview.out;
    EXPECT_FALSE(Has(preview.out, "- " + dir.File("kept"))) << preview.out;
    EXPECT_TRUE(Has(preview.out, "folders: 2 to make, 1 to remove")) << preview.out;
    EXPECT_EQ(Names(dir.Path()), before);

    const TRun run = RunWithTestPlugin({"-r", "-p", "*title*/*title* *tag*", dir.Path()}, state.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "3 renamed, 0 unchanged, 0 failed; folders: 2 made, 1 removed")) << run.out;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Abba", "Cello", "Delta", "kept"}));
    EXPECT_EQ(Names(dir.File("Abba")), std::vector<std::string> {"ABBA 0.mp3"});
    EXPECT_EQ(Names(dir.File("kept")), std::vector<std::string> {"cover.jpg"});
    const TRun again = RunWithTestPlugin({"-r", "-p", "*title*/*title* *tag*", dir.Path()}, state.Path());
    EXPECT_TRUE(Has(again.out, "3 seen, 0 renamed, 3 unchanged, 0 failed; folders: 0 made, 0 removed")) << again.out;
    const TRun doubled = RunWithTestPlugin({"-r", "-p", "*title*/*title* *tag*", dir.Path() + sep + sep}, state.Path());
    EXPECT_TRUE(Has(doubled.out, "3 seen, 0 renamed, 3 unchanged, 0 failed")) << doubled.out << doubled.err;

    dir.Write("Cello" + sep + "new.mp3", "");  // came after the run: its folder stays
    const TRun undoPreview = RunWithTestPlugin({"--undo", "-n"}, state.Path());
    EXPECT_TRUE(Has(undoPreview.out, "folders: 1 to remove, 1 to make again, 1 kept")) << undoPreview.out;
    const TRun undo = RunWithTestPlugin({"--undo"}, state.Path());
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(Has(undo.err, dir.File("Cello") + sep + ": holds what the run did not put there; it stays")) << undo.err;
    EXPECT_TRUE(Has(undo.out, "3 restored, 0 already in place, 0 left alone, folders: 1 removed, 1 made again, 1 kept"))
        << undo.out;
    EXPECT_EQ(Names(dir.File("old")), std::vector<std::string> {"a.mp3"});
    EXPECT_EQ(Names(dir.File("Abba")), std::vector<std::string> {}) << "it stood before the run";
    EXPECT_EQ(Names(dir.File("Cello")), std::vector<std::string> {"new.mp3"});
}

// Where something else now stands in a folder the run removed, the files that
// were in it stay where the run put them, in the preview as in the undo.
TEST(Organise, UndoLeavesTheFilesOfAFolderItCannotMakeAgain) {
    TScratch dir, state;
    const std::string sep(1, host::kPathDelimiter);
    dir.Folder("old");
    dir.Write("old" + sep + "a.mp3", "Alpha");
    ASSERT_EQ(RunWithTestPlugin({"-r", "-p", "*title*/*title*", dir.Path()}, state.Path()).status, 0);
    dir.Write("old", "");
    for (const std::vector<std::string>& args : {std::vector<std::string> {"--undo", "-n"}, {"--undo"}}) {
        const TRun undo = RunWithTestPlugin(args, state.Path());
        EXPECT_EQ(undo.status, 1);
        EXPECT_TRUE(Has(undo.err, dir.File("old") + sep + ": not made again: something else stands there")) << undo.err;
        EXPECT_TRUE(Has(undo.err, "Alpha.mp3: not put back, " + dir.File("old") + sep + " is not made again")) << undo.err;
        EXPECT_TRUE(Has(undo.out, " 0 already in place, 1 left alone")) << undo.out;
    }
    EXPECT_EQ(Names(dir.File("Alpha")), std::vector<std::string> {"Alpha.mp3"});
}

// Under arguments at two depths, a file's new path can be the folder another
// file of the run goes into: whichever comes second stays, in the preview as
// in the run.
TEST(Organise, NewPathAndNewFolderOfOneRunNeverMeet) {
    const std::string sep(1, host::kPathDelimiter);
    for (const bool folderFirst : {false, true}) {
        SCOPED_TRACE(folderFirst);
        TScratch dir, state;
        dir.Write("y.mp3", "A");  // to A/A.mp3
        dir.Folder("A");
        dir.Write("A" + sep + "x.mp3", "A.mp3");  // under its own folder: to A/A.mp3/A.mp3.mp3
        std::vector<std::string> args = {"-p", "*title*/*title*", dir.Path(), dir.File("A" + sep + "x.mp3")};
        if (folderFirst) std::swap(args[2], args[3]);
        const std::string mark = folderFirst ? "an earlier file goes into a folder of this name: stays]"
                                             : dir.File("A" + sep + "A.mp3") + " is an earlier file's new name: stays]";
        args.insert(args.begin(), "-n");
        const TRun preview = RunWithTestPlugin(args, state.Path());
        EXPECT_TRUE(Has(preview.out, mark)) << preview.out;
        args.erase(args.begin());
        const TRun run = RunWithTestPlugin(args, state.Path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, ": stays]")) << run.err;
        EXPECT_TRUE(Has(run.out, "1 renamed, 0 unchanged, 1 failed")) << run.out;
    }
    // One folder spelled two ways by the arguments is made once.
    TScratch dir, state;
    dir.Write("a.mp3", "Alpha");
    dir.Write("b.mp3", "Beta");
    const std::vector<std::string> files = {dir.File("a.mp3"), dir.File("." + sep + "b.mp3")};
    const TRun preview = RunWithTestPlugin({"-n", "-p", "F/*title*", files[0], files[1]}, state.Path());
    EXPECT_TRUE(Has(preview.out, "folders: 1 to make")) << preview.out;
    const TRun run = RunWithTestPlugin({"-p", "F/*title*", files[0], files[1]}, state.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Names(dir.File("F")), (std::vector<std::string> {"Alpha.mp3", "Beta.mp3"}));
}

TEST(Run, OutputThatCannotBeWrittenStopsTheRun) {
    TScratch dir, state;
    for (const char* name : {"a", "b", "c"}) dir.Write(std::string(name) + ".mp3", std::string(name) + "-new");
    const TRun run = RunWithTestPlugin({"-p", "*title*", dir.Path()}, state.Path(), 1);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "cannot write to standard output; stopped after 2 of 3 files, 2 renamed; journal: " +
                                 state.Path()))
        << run.err;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"a-new.mp3", "b-new.mp3", "c.mp3"}));
    EXPECT_EQ(RunWithTestPlugin({"--undo"}, state.Path()).status, 0);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"a.mp3", "b.mp3", "c.mp3"}));

    // A preview writes its lines in pieces, so it learns of the failure at the first piece.
    const TRun preview = RunWithTestPlugin({"-n", "-p", "*title*", dir.Path()}, state.Path(), 0);
    EXPECT_EQ(preview.status, 1);
    EXPECT_TRUE(Has(preview.err, "cannot write to standard output; stopped after 3 of 3 files (a preview: nothing renamed)"))
        << preview.err;
}

// Each run that renames keeps a journal in the state folder, made when needed;
// --undo walks back through the runs, newest first within each, and never
// pulls back files renamed again since. A run that renamed nothing leaves no
// journal and promises no undo.
TEST(Journal, RunsKeepJournalsApartAndUndoWalksBack) {
    TScratch dir, state;
    const std::string stateFolder = state.File("deep" + std::string(1, host::kPathDelimiter) + "pelmora");
    dir.Write("a.mp3", "Alpha");
    dir.Write("b.mp3", "Beta");
    dir.Write("c.mp3", "Gamma");
    dir.Write("Taken.mp3", "");
    dir.Write("d.mp3", "Taken");
    const TRun first = RunWithTestPlugin({"-p", "*title*", dir.File("a.mp3"), dir.File("b.mp3")}, stateFolder);
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(Has(first.out, "journal: " + stateFolder)) << first.out;
    const std::vector<std::string> journals = JournalsIn(stateFolder);
    ASSERT_EQ(journals.size(), 1u);
    const std::string journal = Read(stateFolder + host::kPathDelimiter + journals[0]);
    EXPECT_TRUE(Has(journal, "renamed\t" + dir.File("a.mp3") + "\t" + dir.File("Alpha.mp3") + "\t")) << journal;
    EXPECT_TRUE(Has(journal, "renamed\t" + dir.File("b.mp3") + "\t" + dir.File("Beta.mp3") + "\t")) << journal;
    ASSERT_EQ(RunWithTestPlugin({"-p", "*title*", dir.File("c.mp3")}, stateFolder).status, 0);
    const TRun nothing = RunWithTestPlugin({"-p", "*title*", dir.File("d.mp3"), dir.File("Taken.mp3")}, stateFolder);
    EXPECT_EQ(nothing.status, 1);
    EXPECT_FALSE(Has(nothing.out, "--undo")) << nothing.out;
    ASSERT_EQ(JournalsIn(stateFolder).size(), 2u) << "a run that renamed nothing keeps no journal";

    const TRun listed = RunWithTestPlugin({"--history"}, stateFolder);
    EXPECT_EQ(listed.status, 0);
    const std::vector<std::string> lines = Lines(listed.out);
    ASSERT_EQ(lines.size(), 2u) << listed.out;
    EXPECT_TRUE(Has(lines[0], "2 renamed, not undone  " + dir.Path())) << listed.out;
    EXPECT_TRUE(Has(lines[1], "(next --undo)")) << listed.out;
    const TRun preview = RunWithTestPlugin({"--undo", "-n"}, stateFolder);
    EXPECT_TRUE(Has(preview.out, "1 to restore")) << preview.out;
    const std::vector<std::pair<std::string, std::vector<std::string>>> steps = {
        {"Gamma.mp3", {"Alpha.mp3", "Beta.mp3", "Taken.mp3", "c.mp3", "d.mp3"}},
        {"Beta.mp3", {"Taken.mp3", "a.mp3", "b.mp3", "c.mp3", "d.mp3"}},
    };
    for (const auto& [restored, names] : steps) {
        const TRun undo = RunWithTestPlugin({"--undo"}, stateFolder);
        EXPECT_EQ(undo.status, 0) << undo.err;
        EXPECT_EQ(undo.out.find(dir.File(restored) + " -> "), 0u) << undo.out;
        EXPECT_EQ(Names(dir.Path()), names);
    }
    RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.File("a.mp3")});
    const TRun done = RunWithTestPlugin({"--undo"}, stateFolder);
    EXPECT_EQ(done.status, 1);
    EXPECT_TRUE(Has(done.err, "is undone; nothing to undo")) << done.err;
    EXPECT_EQ(Read(dir.File("Alpha.mp3")), "Alpha");
    const TRun after = RunWithTestPlugin({"--history"}, stateFolder);
    EXPECT_EQ(Lines(after.out).size(), 2u);
    EXPECT_FALSE(Has(after.out, "not undone")) << after.out;
    EXPECT_FALSE(Has(after.out, "next --undo")) << after.out;
}

TEST(Journal, NamedJournalIsAppendedOnlyWhenItIsOne) {
    TScratch dir, state;
    dir.Write("a.mp3", "Alpha");
    const std::string notJournal = state.Write("notes.journal", "shopping list\n");
    const TRun refused = RunWithTestPlugin({"--journal", notJournal, "-p", "*title*", dir.Path()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, "is not a pelmora journal")) << refused.err;
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string> {"a.mp3"}) << "no rename without its journal";
    EXPECT_EQ(Read(notJournal), "shopping list\n");

    const std::string journal = state.File("both.journal");
    EXPECT_EQ(RunWithTestPlugin({"--journal", journal, "-p", "*title*", dir.Path()}).status, 0);
    dir.Write("b.mp3", "Beta");
    EXPECT_EQ(RunWithTestPlugin({"--journal", journal, "-p", "*title*", dir.File("b.mp3")}).status, 0);
    EXPECT_EQ(RunWithTestPlugin({"--undo", journal}).status, 0);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"a.mp3", "b.mp3"}));
}

TEST(Journal, UndoOfAnInterruptedRunChecksTheDisk) {
    TScratch dir, state;
    const std::string beta = std::string("F").append(1, host::kPathDelimiter).append("Beta.mp3");
    dir.Write("Alpha.mp3", "Alpha");  // moved before the run died
    dir.Write("b.mp3", "Beta");       // the run died before moving it into the folder it made
    dir.Folder("F");
    dir.Write(beta, "other");         // put there by someone else
    host::TFileId alpha, b;
    ASSERT_TRUE(host::IdentityOf(dir.File("Alpha.mp3"), alpha) && host::IdentityOf(dir.File("b.mp3"), b));
    state.Write("2026-01-01_00-00-00.000Z.journal",
                std::string(host::kJournalHeader) + "\n" +
                    host::JournalLine("renaming", dir.File("a.mp3"), dir.File("Alpha.mp3"), alpha) +
                    host::JournalLine("making", dir.File("F"), "") +
                    host::JournalLine("renaming", dir.File("b.mp3"), dir.File(beta), b));
    const TRun preview = RunWithTestPlugin({"--undo", "-n"}, state.Path());
    EXPECT_TRUE(Has(preview.out, "1 to restore, 1 already in place, 0 left alone, folders: 0 to remove, 0 to make "
                                 "again, 1 kept")) << preview.out;
    const TRun undo = RunWithTestPlugin({"--undo"}, state.Path());
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_TRUE(Has(undo.out, "1 restored, 1 already in place, 0 left alone, folders: 0 removed, 0 made again, 1 kept"))
        << undo.out;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"F", "a.mp3", "b.mp3"}));
    EXPECT_EQ(Read(dir.File(beta)), "other");
    // The move that never happened is no file left alone.
    const TRun history = RunWithTestPlugin({"--history"}, state.Path());
    EXPECT_TRUE(Has(history.out, " 2 renamed, folders: 1 made, 0 removed, undone  ")) << history.out;

    const TRun nothing = RunWithTestPlugin({"--undo", state.File("missing.journal")});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_TRUE(Has(nothing.err, "cannot read the journal")) << nothing.err;
    const TRun empty = RunWithTestPlugin({"--undo"}, state.File("no-state"));
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(Has(empty.err, "nothing to undo")) << empty.err;
}

TEST(Run, JsonAndQuietOutput) {
    TScratch dir;
    dir.Write("a.mp3", "Alpha");
    dir.Write("b.mp3", "Alpha");
    dir.Write("c.mp3", "");
    const TRun json = RunWithTestPlugin({"-n", "--json", "-p", "*title*", dir.Path()});
    EXPECT_EQ(json.status, 1);
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 4u) << json.out;
    const std::string a = host::JsonString(dir.File("a.mp3")), alpha = host::JsonString(dir.File("Alpha.mp3"));
    EXPECT_EQ(lines[0], "{\"type\":\"file\",\"old\":" + a + ",\"new\":" + alpha +
                            ",\"result\":\"to rename\",\"marks\":[],\"reason\":null}");
    EXPECT_TRUE(Has(lines[1], "\"result\":\"would stay\",\"marks\":[\"an earlier file takes this name: stays\"]"))
        << lines[1];
    EXPECT_TRUE(Has(lines[2], "\"new\":null,\"result\":\"unchanged\"")) << lines[2];
    EXPECT_EQ(lines[3].rfind("{\"type\":\"summary\",\"dryRun\":true,\"seen\":3,\"toRename\":1,", 0), 0u) << lines[3];

    const TRun quiet = RunWithTestPlugin({"-q", "--no-journal", "-p", "*title*", dir.Path()});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_FALSE(Has(quiet.out, " -> ")) << quiet.out;
    EXPECT_TRUE(Has(quiet.err, "b.mp3: not renamed to")) << quiet.err;
    EXPECT_TRUE(Has(quiet.out, "3 seen, 1 renamed")) << quiet.out;
}

}  // namespace
