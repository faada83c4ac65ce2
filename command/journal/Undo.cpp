// Undo of a journal.
#include "Undo.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <unordered_set>

#include "Console.h"
#include "Journal.h"
#include "Lock.h"
#include "PathText.h"
#include "System.h"

namespace host {

namespace {

struct TUndoCounts {
    std::size_t restored = 0, inPlace = 0, leftAlone = 0, waiting = 0;
    std::size_t foldersRemoved = 0, foldersMade = 0, foldersKept = 0;
};

// Paths as journaled: what a preview of the undo would have taken out of the
// folders, and the removed folders that are not made again (no file goes back
// into one, in a preview as in the undo).
struct TUndoPaths {
    std::unordered_set<std::string> leaving, notMade;
};

// A folder the run made taken away once it is empty again, or one it emptied
// and removed made again; false when nothing was done to it.
bool UndoFolder(const TJournalFolder& folder, bool dryRun, TUndoPaths& paths, TConsole& report, TUndoCounts& counts) {
    const std::string shown = JoinPath(folder.path, std::string());
    const TEntryInfo info = Examine(folder.path);
    std::string error;
    if (!folder.made) {
        if (info.kind == TFileKind::Folder) return false;
        if (info.kind != TFileKind::Missing) error = "something else stands there";
        else if (paths.notMade.count(ParentOf(folder.path)) != 0) error = "the folder it was in is not made again";
        else if (!dryRun) (void)MakeFolder(folder.path, error);  // error says why when it fails
        if (!error.empty()) {
            paths.notMade.insert(folder.path);
            report.Err(shown + ": not made again: " + error);
            return false;
        }
        ++counts.foldersMade;
        report.Out("+ " + shown + "\n");
        return true;
    }
    if (info.kind != TFileKind::Folder || info.link) return false;
    const auto keep = [&](const std::string& why) {
        ++counts.foldersKept;
        report.Err(shown + why);
        return false;
    };
    std::vector<std::string> names;
    const bool listed = ListFolder(folder.path, names, error);
    if (dryRun) {
        std::erase_if(names, [&](const std::string& n) { return paths.leaving.count(JoinPath(folder.path, n)) != 0; });
    }
    if (!listed || !names.empty()) {
        return keep(": " + (error.empty() ? std::string("holds what the run did not put there") : error) +
                    "; it stays");
    }
    if (!dryRun && !RemoveFolder(folder.path, error)) return keep(": not removed: " + error);
    ++counts.foldersRemoved;
    report.Out("- " + shown + "\n");
    return true;
}

// Where an entry's file stands once undo has seen to it: at its old name it is
// on record as undone, and only one put back took something out of its new folder.
enum class TUndone { Left, FoundInPlace, PutBack };

// One entry put back, or why not.
TUndone UndoEntry(const TJournalEntry& entry, bool dryRun, const TUndoPaths& paths, TConsole& report,
                  TUndoCounts& counts) {
    const auto leave = [&](const std::string& why) {
        ++counts.leftAlone;
        // A damaged line may have lost its new name.
        report.Err((entry.newPath.empty() ? entry.oldPath : entry.newPath) + why);
        return TUndone::Left;
    };
    if (entry.damaged) return leave(": its journal line is incomplete; left alone");
    const bool caseOnly = NameKey(entry.oldPath) == NameKey(entry.newPath);
    TFileId found;
    const bool newThere = Exists(entry.newPath);
    const bool oldThere = !caseOnly && Exists(entry.oldPath);
    const bool same = IdentityOf(entry.newPath, found) && found == entry.id;
    // A run stopped between its journal line and the move: did the move happen?
    const bool pending = entry.state == TEntryState::Pending;
    if (pending && !oldThere && !(newThere && same)) {
        return leave(newThere ? ": changed since the run; left alone"
                              : " is gone; " + entry.oldPath + " cannot be restored");
    }
    // Never moved (the run stopped first), or moved back by hand.
    if (oldThere && (!newThere || pending)) {
        ++counts.inPlace;
        return TUndone::FoundInPlace;
    }
    if (!newThere) return leave(" is gone; " + entry.oldPath + " cannot be restored");
    if (!same) return leave(": changed since the run; left alone");
    if (const std::string folder = ParentOf(entry.oldPath); paths.notMade.count(folder) != 0) {
        ++counts.waiting;
        return leave(": not put back, " + JoinPath(folder, std::string()) + " is not made again; left alone");
    }
    std::string error;
    if (oldThere || (!dryRun && !MoveNoReplace(entry.newPath, entry.oldPath, error))) {
        ++counts.waiting;
        return leave(oldThere ? ": not put back, a file stands at " + entry.oldPath + "; left alone"
                              : ": not put back to " + entry.oldPath + ": " + error);
    }
    ++counts.restored;
    report.Out(entry.newPath + " -> " + entry.oldPath + "\n");
    return TUndone::PutBack;
}

// The newest journal a bare --undo takes; false with the message when there is none.
bool LoadNext(const THostContext& context, TJournal& journal, std::string& error) {
    const std::vector<std::string> journals = StateJournals(context, error);
    for (auto path = journals.rbegin(); path != journals.rend(); ++path) {
        std::string ignored;
        if (journal.Load(*path, ignored) && NextToUndo(journal)) return true;
    }
    error = journals.empty() ? error + "; nothing to undo"
                             : "every journal in " + context.stateFolder +
                                   " is undone; nothing to undo (pelmora --history lists them)";
    return false;
}

}  // namespace

bool NextToUndo(const TJournal& journal) {
    for (const TJournalEntry& e : journal.Entries()) {
        if (e.undone || e.state == TEntryState::Failed || (e.damaged && journal.UndoRan())) continue;
        // After an undo, only a file that stands at its new name as the run
        // left it (another file at its old name, or the system, stood in the way).
        TFileId found;
        if (!journal.UndoRan() || (IdentityOf(e.newPath, found) && found == e.id)) return true;
    }
    return !journal.UndoRan() && std::any_of(journal.Folders().begin(), journal.Folders().end(),
                                             [](const TJournalFolder& f) { return !f.undone; });
}

std::vector<std::string> StateJournals(const THostContext& context, std::string& error) {
    std::vector<std::string> names;
    std::string reason;
    if (context.stateFolder.empty() || !ListFolder(context.stateFolder, names, reason)) names.clear();
    std::vector<std::string> journals = JournalsInOrder(names);
    for (std::string& name : journals) name = JoinPath(context.stateFolder, name);
    if (journals.empty()) {
        error = "no journal in " + (context.stateFolder.empty() ? std::string("the state folder") : context.stateFolder);
    }
    return journals;
}

int RunUndo(const TCommand& command, const THostContext& context) {
    TConsole report(context);
    TStateLock lock;
    std::string error;
    TJournal journal;
    if (!lock.Take(context, "an undo", error) ||
        !(command.undoJournal.empty() ? LoadNext(context, journal, error) : journal.Load(command.undoJournal, error))) {
        report.Err(error);
        return kExitFailed;
    }
    for (const std::string& problem : journal.Problems()) report.Err(journal.Path() + ": " + problem);
    if (!command.dryRun && !journal.OpenLoaded(error)) {
        report.Err(error + "; a second undo will not know what this one put back");
    }
    TUndoCounts counts;
    bool noted = true;
    int stop = 0;
    TUndoPaths paths;
    // What undo put back, on record for a second undo; a preview keeps no
    // journal open and notes instead what leaves the folders.
    // left: whether something of the run's leaves newPath.
    const auto putBack = [&](const std::string& oldPath, const std::string& newPath, const char* what, bool left) {
        if (command.dryRun && left) paths.leaving.insert(newPath);
        if (journal.IsOpen() && noted && !journal.Write(kKindUndone, oldPath, newPath, {}, error)) {
            report.Err(error + "; a second undo will find these " + what + " in place");
            noted = false;
        }
    };
    const std::vector<TJournalFolder>& folders = journal.Folders();
    // Newest first: the removed folders outermost first, the made ones deepest first.
    const auto undoFolders = [&](bool made) {
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
            if (folder->made != made || folder->undone) continue;
            if (UndoFolder(*folder, command.dryRun, paths, report, counts)) {
                putBack(folder->path, folder->path, "folders", true);
            }
        }
    };
    // The folders the run removed first, so that the files can go back.
    undoFolders(false);
    const std::vector<TJournalEntry>& entries = journal.Entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (context.pauseMillis > 0) std::this_thread::sleep_for(std::chrono::milliseconds(context.pauseMillis));
        if (context.stopSignal && (stop = context.stopSignal()) != 0) break;
        if (entry->undone || entry->state == TEntryState::Failed) continue;
        const TUndone undone = UndoEntry(*entry, command.dryRun, paths, report, counts);
        if (undone != TUndone::Left) putBack(entry->oldPath, entry->newPath, "files", undone == TUndone::PutBack);
    }
    // The folders it made last, once the files are out of them.
    if (stop == 0) undoFolders(true);
    if (journal.IsOpen() && noted && stop == 0 && !journal.NoteUndone(error)) {
        report.Err(error);
        noted = false;
    }
    if (stop != 0) {
        report.Err("interrupted by " + SignalName(stop) + "; stopped with " + std::to_string(counts.restored) +
                   " restored; pelmora --undo goes on with this run");
        return kExitSignal + stop;
    }
    std::string summary = std::to_string(counts.restored) + (command.dryRun ? " to restore, " : " restored, ") +
                          std::to_string(counts.inPlace) + " already in place, " + std::to_string(counts.leftAlone) +
                          " left alone";
    if (!folders.empty()) {
        summary += ", folders: " + std::to_string(counts.foldersRemoved) +
                   (command.dryRun ? " to remove, " : " removed, ") + std::to_string(counts.foldersMade) +
                   (command.dryRun ? " to make again" : " made again");
        if (counts.foldersKept > 0) summary += ", " + std::to_string(counts.foldersKept) + " kept";
    }
    report.Out(summary + " (" + journal.Path() + ")\n");
    if (counts.waiting > 0 && !command.dryRun) {
        report.Out("once the way is clear, pelmora --undo" +
                   (command.undoJournal.empty() ? std::string() : " " + journal.Path()) +
                   " puts back what was left alone\n");
    }
    return counts.leftAlone > 0 || journal.Damaged() || !noted ? kExitFailed : kExitSuccess;
}

}  // namespace host
