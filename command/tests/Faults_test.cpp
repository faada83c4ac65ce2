// The command under faults, in-process against the stand-in plug-in: journals
// cut at every byte or edited by hand, an undo blocked and retried once the
// way is clear, a run interrupted.
#include <gtest/gtest.h>

#include <functional>

#include "Journal.h"
#include "TestSupport.h"
#include "platform.h"

using namespace commandtest;

namespace {

const bool kWindows = host::kPathDelimiter == '\\';
const std::vector<std::string> kOldNames = {"a.mp3", "b.mp3", "c.mp3"};
const std::vector<std::string> kNewNames = {"Alpha.mp3", "Beta.mp3", "Gamma.mp3"};
const char* const kInterrupt = kWindows ? "interrupted by Ctrl-C" : "interrupted by SIGINT";

void MakeLibrary(const TScratch& dir) {
    dir.Write("a.mp3", "Alpha");
    dir.Write("b.mp3", "Beta");
    dir.Write("c.mp3", "Gamma");
}

TRun Rename(const TScratch& dir, const std::vector<std::string>& journal, const std::string& state = "",
            std::function<int()> stop = {}) {
    std::vector<std::string> args = journal;
    args.insert(args.end(), {"-p", "*title*", dir.Path()});
    return RunWithTestPlugin(args, state, -1, std::move(stop));
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

// A full disk or a crash cuts the last line anywhere: undo still puts back
// every file the run moved, by the whole "renaming" line before it.
TEST(Faults, JournalCutAtAnyByteOfItsLastLineCostsNoFile) {
    TScratch dir, state;
    MakeLibrary(dir);
    const std::string journal = state.File("run.journal");
    ASSERT_EQ(Rename(dir, {"--journal", journal}).status, 0);
    const std::string text = Read(journal);
    const std::size_t last = text.rfind('\n', text.size() - 2) + 1;
    for (std::size_t cut = last; cut < text.size(); ++cut) {
        SCOPED_TRACE(cut - last);
        const std::string copy = state.Write("cut.journal", text.substr(0, cut));
        const TRun undo = RunWithTestPlugin({"--undo", copy});
        EXPECT_EQ(undo.status, 0) << undo.err;
        EXPECT_EQ(Names(dir.Path()), kOldNames);
        EXPECT_EQ(Has(undo.err, "journal line 8 is cut short; not used"), cut > last) << undo.err;
        if (cut == last + 9) {
            // The cut part is taken off before undo adds to it: a second undo reads clean lines.
            const TRun again = RunWithTestPlugin({"--undo", copy});
            EXPECT_EQ(again.status, 0) << again.err;
            EXPECT_EQ(again.err, "");
            EXPECT_TRUE(Has(again.out, "0 restored, 0 already in place, 0 left alone")) << again.out;
        }
        ASSERT_EQ(Rename(dir, {"--no-journal"}).status, 0);
    }
}

TEST(Faults, HandEditedJournalsMoveOnlyWhatTheyProve) {
    TScratch dir, state;
    MakeLibrary(dir);
    const std::string journal = state.File("run.journal");
    ASSERT_EQ(Rename(dir, {"--journal", journal}).status, 0);
    const std::string text = Read(journal);
    const std::size_t bLine = text.find(std::string(host::kKindRenamed) + "\t" + dir.File("b.mp3"));
    const std::size_t bId = text.rfind('\t', text.find('\n', bLine));
    const std::string bIdentity = text.substr(bId, text.find('\n', bId) - bId);
    struct TCase {
        const char* edit;
        std::string text;
        int status;
        std::vector<std::string> names;  // after undo
        std::string said;
        int leftAlone = 0;
    };
    const std::vector<std::string> bLeft = {"Beta.mp3", "a.mp3", "c.mp3"};
    const std::size_t bRenamed = text.find('\n', bLine) + 1;
    const std::string bPendingGone =
        ReplaceAll(text.substr(0, bLine) + text.substr(bRenamed), "Beta.mp3", "Gone.mp3");
    const std::string incomplete = "journal line 5 is incomplete; its file is left alone";
    const std::vector<TCase> cases = {
        {"saved again by a Windows editor", "\xEF\xBB\xBF" + ReplaceAll(text, "\n", "\r\n"), 0, kOldNames, ""},
        {"b's identities taken off", ReplaceAll(text, bIdentity, ""), 1, bLeft, incomplete, 1},
        {"b's identities no number", ReplaceAll(text, bIdentity, bIdentity + "x"), 1, bLeft, incomplete, 1},
        {"b's new name badly escaped", ReplaceAll(text, "Beta.mp3", "Beta%G1.mp3"), 1, bLeft, incomplete, 1},
        {"b's new name taken off", ReplaceAll(text, std::string("\t").append(dir.File("Beta.mp3")).append(bIdentity), ""), 1,
         bLeft, incomplete, 1},
        {"b's last line cut before its last field, then more written",
         text.substr(0, bId) + "\t12:34\n" + text.substr(text.find('\n', bId) + 1), 1, bLeft,
         "journal line 6 is incomplete; its file is left alone", 1},
        {"b's move not told done, and its file at neither name", bPendingGone, 1, bLeft,
         dir.File("Gone.mp3") + " is gone; " + dir.File("b.mp3") + " cannot be restored", 1},
        {"a kind of line of a later version", text + "made-folder\t" + dir.File("x") + "\n", 1, kOldNames,
         "journal line 9 is of a kind this version does not know (\"made-folder\"); not used"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.edit);
        const TRun undo = RunWithTestPlugin({"--undo", state.Write("edited.journal", c.text)});
        EXPECT_EQ(undo.status, c.status) << undo.err;
        EXPECT_EQ(Names(dir.Path()), c.names);
        EXPECT_TRUE(Has(undo.err, c.said)) << undo.err;
        EXPECT_TRUE(Has(undo.out, std::to_string(c.leftAlone) + " left alone")) << undo.out;
        ASSERT_EQ(Rename(dir, {"--no-journal"}).status, 0);
    }
}

// A journal whose one line, its header, has lost its line end: a run adds to
// it, and undo still reads it as a journal.
TEST(Faults, JournalOfAnUnendedHeaderTakesARunAndItsUndo) {
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
        TScratch dir, state;
        MakeLibrary(dir);
        const std::string journal = state.Write("run.journal", mark + host::kJournalHeader);
        ASSERT_EQ(Rename(dir, {"--journal", journal}).status, 0);
        EXPECT_EQ(Names(dir.Path()), kNewNames);
        const TRun undo = RunWithTestPlugin({"--undo", journal});
        EXPECT_EQ(undo.status, 0) << undo.err;
        EXPECT_EQ(Names(dir.Path()), kOldNames);
    }
    // Line ends of another system make it all one line: refused, and kept as it is.
    TScratch dir, state;
    MakeLibrary(dir);
    const std::string journal = state.File("run.journal");
    ASSERT_EQ(Rename(dir, {"--journal", journal}).status, 0);
    const std::string macLines = ReplaceAll(Read(journal), "\n", "\r");
    state.Write("run.journal", macLines);
    const TRun undo = RunWithTestPlugin({"--undo", journal});
    EXPECT_NE(undo.status, 0);
    EXPECT_TRUE(Has(undo.err, "not a pelmora journal")) << undo.err;
    EXPECT_EQ(Read(journal), macLines);
}

// A folder that another makes while the run goes is not the run's: the run
// fails that file, and undo leaves the folder where it stands.
TEST(Faults, FolderMadeByAnotherDuringTheRunStaysAfterUndo) {
    TScratch dir, state;
    MakeLibrary(dir);
    const auto makeBetaOnce = [&dir] {
        if (host::Exists(dir.File("Alpha")) && !host::Exists(dir.File("Beta"))) {
            std::string error;
            host::MakeFolder(dir.File("Beta"), error);
        }
        return 0;
    };
    const TRun run = RunWithTestPlugin({"-p", "*title*/*title*", dir.Path()}, state.Path(), -1, makeBetaOnce);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "cannot make the folder " + dir.File("Beta"))) << run.err;
    const TRun undo = RunWithTestPlugin({"--undo"}, state.Path());
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Beta", "a.mp3", "b.mp3", "c.mp3"}));
}

// Undo never replaces a file standing at an old name. The next --undo, once
// the way is clear, finishes the run it left before any run before it, and
// history names that run as the next.
TEST(Faults, BlockedUndoReplacesNothingAndIsFinishedLater) {
    TScratch one, two, state;
    one.Write("a.mp3", "Alpha");
    two.Write("b.mp3", "Beta");
    two.Write("c.mp3", "Gamma");
    two.Write("d.mp3", "Delta");
    ASSERT_EQ(Rename(one, {}, state.Path()).status, 0);
    ASSERT_EQ(Rename(two, {}, state.Path()).status, 0);
    two.Write("b.mp3", "newcomer");
    ASSERT_TRUE(platform::MoveNoReplaceUtf8(two.File("Delta.mp3"), two.File("elsewhere.mp3")));
    const TRun blocked = RunWithTestPlugin({"--undo"}, state.Path());
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(Has(blocked.err, "not put back, a file stands at " + two.File("b.mp3"))) << blocked.err;
    EXPECT_TRUE(Has(blocked.err, two.File("Delta.mp3") + " is gone")) << blocked.err;
    EXPECT_TRUE(Has(blocked.out, "1 restored, 0 already in place, 2 left alone")) << blocked.out;
    EXPECT_TRUE(Has(blocked.out, "once the way is clear, pelmora --undo puts back what was left alone")) << blocked.out;
    EXPECT_EQ(Read(two.File("b.mp3")), "newcomer");
    EXPECT_EQ(Read(two.File("Beta.mp3")), "Beta");
    EXPECT_EQ(Read(two.File("c.mp3")), "Gamma");
    const TRun history = RunWithTestPlugin({"--history"}, state.Path());
    const std::size_t next = history.out.find("(next --undo)");
    const std::size_t start = history.out.rfind('\n', next) + 1;  // npos + 1 for the first line
    EXPECT_TRUE(Has(history.out.substr(start, next - start), "undone but 2 left alone  " + two.Path()))
        << "the run left alone is the next: " << history.out;
    EXPECT_EQ(history.out.find("(next --undo)", next + 1), std::string::npos) << history.out;

    ASSERT_TRUE(platform::MoveNoReplaceUtf8(two.File("b.mp3"), two.File("newcomer.mp3")));
    const TRun retry = RunWithTestPlugin({"--undo"}, state.Path());
    EXPECT_TRUE(Has(retry.out, two.File("Beta.mp3") + " -> " + two.File("b.mp3") + "\n1 restored")) << retry.out;
    EXPECT_EQ(Read(two.File("b.mp3")), "Beta");
    EXPECT_EQ(Names(one.Path()), std::vector<std::string> {"Alpha.mp3"}) << "the run before it waits its turn";
    EXPECT_EQ(RunWithTestPlugin({"--undo"}, state.Path()).status, 0);
    EXPECT_EQ(Names(one.Path()), std::vector<std::string> {"a.mp3"});
}

// Ctrl-C stops a run, an undo or a preview before the next file, says where,
// and exits with 128 + the signal; the rest is undone later as usual.
TEST(Faults, InterruptStopsBeforeTheNextFile) {
    TScratch dir, state;
    MakeLibrary(dir);
    const auto after = [&](const std::string& name) {
        return [&dir, name] { return host::Exists(dir.File(name)) ? 2 : 0; };
    };
    const TRun run = Rename(dir, {}, state.Path(), after("Alpha.mp3"));
    EXPECT_EQ(run.status, 130);
    EXPECT_TRUE(Has(run.err, std::string(kInterrupt) + "; stopped after 1 of 3 files, 1 renamed; journal: " +
                                 state.Path()))
        << run.err;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Alpha.mp3", "b.mp3", "c.mp3"}));

    const TRun preview = RunWithTestPlugin({"-n", "-p", "*title*", dir.Path()}, state.Path(), -1, [] { return 2; });
    EXPECT_EQ(preview.status, 130);
    EXPECT_TRUE(Has(preview.err, std::string(kInterrupt) + "; stopped after 0 of 0 files (a preview: nothing renamed)"))
        << preview.err;

    ASSERT_EQ(Rename(dir, {}, state.Path()).status, 0);
    const TRun undo = RunWithTestPlugin({"--undo"}, state.Path(), -1, after("c.mp3"));
    EXPECT_EQ(undo.status, 130);
    EXPECT_TRUE(Has(undo.err, std::string(kInterrupt) + "; stopped with 1 restored")) << undo.err;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(RunWithTestPlugin({"--undo"}, state.Path()).status, 0);
    EXPECT_EQ(Names(dir.Path()), kOldNames);
}

}  // namespace
