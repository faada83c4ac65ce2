// The history: the journals of the state folder, oldest first, with what
// each run did and whether it is undone.
#include <string>
#include <vector>

#include "Console.h"
#include "Journal.h"
#include "Lock.h"
#include "PathText.h"
#include "System.h"
#include "Text.h"
#include "Undo.h"

namespace host {

namespace {

// The folder every path lies in.
std::string CommonFolder(const std::vector<TJournalEntry>& entries) {
    std::string common;
    for (const TJournalEntry& e : entries) {
        const std::string folder = ParentOf(e.oldPath);
        if (common.empty()) {
            common = folder;
            continue;
        }
        while (!common.empty() && folder != common &&
               !(folder.starts_with(common) && folder.size() > common.size() && IsSlash(folder[common.size()]))) {
            const std::string up = ParentOf(common);
            common = up == common ? std::string() : up;
        }
    }
    return common;
}

}  // namespace

int RunHistory(const TCommand&, const THostContext& context) {
    TConsole console(context);
    TStateLock lock;
    std::string error;
    if (!lock.Take(context, "a look at the history", error)) {
        console.Err(error);
        return kExitFailed;
    }
    const std::vector<std::string> journals = StateJournals(context, error);
    if (journals.empty()) {
        console.Out("no journals" + (context.stateFolder.empty() ? std::string() : " in " + context.stateFolder) + "\n");
        return kExitSuccess;
    }
    // Each journal read once; the next --undo is the newest that undo would take.
    std::vector<std::string> lines(journals.size());
    bool nextFound = false;
    for (std::size_t i = journals.size(); i-- > 0;) {
        const std::string& path = journals[i];
        const std::string name = NameOf(path);
        TJournal journal;
        std::string ignored;
        if (!journal.Load(path, ignored)) {
            lines[i] = name + "  not a pelmora journal\n";
            continue;
        }
        std::size_t renamed = 0, undone = 0, made = 0, removed = 0;
        for (const TJournalEntry& e : journal.Entries()) {
            if (e.state == TEntryState::Failed) continue;
            ++renamed;
            if (e.undone) ++undone;
        }
        for (const TJournalFolder& f : journal.Folders()) ++(f.made ? made : removed);
        const std::string folders = journal.Folders().empty() ? std::string()
                                    : ", folders: " + std::to_string(made) + " made, " + std::to_string(removed) +
                                          " removed";
        std::string state = "not undone";
        if (journal.UndoRan()) {
            state = undone == renamed ? "undone" : "undone but " + std::to_string(renamed - undone) + " left alone";
        } else if (undone > 0) {
            state = std::to_string(undone) + " of " + std::to_string(renamed) + " undone";
        }
        const bool next = !nextFound && NextToUndo(journal);
        nextFound = nextFound || next;
        lines[i] = JournalStart(name) + "  " + std::to_string(renamed) + " renamed" + folders + ", " + state + "  " +
                   CommonFolder(journal.Entries()) + "  " + path + (next ? "  (next --undo)" : "") + "\n";
    }
    for (const std::string& line : lines) console.Out(line);
    return kExitSuccess;
}

}  // namespace host
