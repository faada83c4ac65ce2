// The rename run: the plug-in loaded and given its options, the files
// collected, each judged and (unless previewing) renamed and journaled; where
// the pattern names folders, the folders made and the emptied ones removed.
#pragma once

#include <optional>
#include <string>

#include "Collect.h"
#include "CommandLine.h"
#include "Context.h"
#include "Lock.h"
#include "NameSense.h"
#include "Plan.h"
#include "PluginHost.h"
#include "Report.h"
#include "RunJournal.h"

namespace host {

int RunRename(const TCommand& command, const THostContext& context);

// One run, its parts in Rename.cpp (the run as a whole) and RenameFile.cpp (each file).
class TRenameRun {
public:
    TRenameRun(const TCommand& command, const THostContext& context)
        : command_(command), context_(context), console_(context),
          report_(console_, command.json, command.quiet), journal_(command, context),
          plan_(command.allowPosixNames) {}

    int Run();

private:
    // Whether a signal asks the run to stop before its next file.
    bool Interrupted();

    // The counts, or, for a run that ends before its last file (output or
    // journal that cannot be written, a signal), why it stopped and where.
    void Summarise(std::size_t done, std::size_t total);
    // A folder made or removed, or to be.
    void Folder(const std::string& folder, bool made);

    // A folder taken away when it holds nothing, journaled before it goes
    // (Stop: the journal could not be written; error says why).
    enum class TRemoval { Kept, Removed, Failed, Stop };
    TRemoval RemoveIfEmpty(const std::string& folder, std::string& error);
    // The folders the run emptied, deepest first.
    void RemoveEmptied();

    void Fail(const std::string& path, const std::string& reason);
    // Counted and told as failed (with reason, when one is given); true.
    bool Failed(TFileReport& r, std::string reason = {});
    // Counted and told as keeping its name; true.
    bool Unchanged(const TFileReport& r);
    // The run stopped on a file it has counted (the plug-in or the working folder failed); false.
    bool StopAt(TFileReport& r, const std::string& error);
    // The run stopped before a step whose journal line could not be written; false.
    bool StopBefore(const std::string& step, const std::string& error);
    // What a new name says of its file: nothing, when its values are empty;
    // the plug-in is asked once more where the name alone cannot tell.
    // tagged: whether the file has the tag, when the plug-in's answer told it.
    TVerdict Said(const THandedFile& file, std::string_view name, std::optional<bool> tagged);

    // False when the run must stop (the journal or the working folder fails).
    bool HandleFile(PluginOptions* record, const TCollected& collected);

    // root: the argument the file was found under.
    bool Rename(PluginOptions* record, const THandedFile& file, const std::string& root, TFileReport& r);

    // False, with the run stopped, when the journal cannot be written; undo
    // still finds the file by the line written before its move.
    bool JournalStep(bool written, const std::string& error);

    const TCommand& command_;
    const THostContext& context_;
    TConsole console_;
    TRunReporter report_;
    TPluginHost plugin_;
    TStateLock lock_;
    TRunJournal journal_;
    TRunPlan plan_;
    std::optional<TNameSense> sense_;
    std::optional<TOptionsRecord> probe_;  // the record the plug-in is asked with for the tag's values alone
    std::optional<TOptionsRecord> asked_;  // the pattern with the tag question after it: a preview's first ask
    bool askTag_ = false;                  // once a file without the tag has been met
    TCounts counts_;
    long renames_ = 0;
    bool folders_ = false;       // the pattern names folders
    std::vector<std::string> justMade_;  // the folders made for the file at hand
    std::string stop_;           // why the run ended before its last file
    int signal_ = 0;             // the signal that stopped it
};

}  // namespace host
