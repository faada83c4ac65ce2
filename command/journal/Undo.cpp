// Undo of a journal, and the list of journals.
#include "Undo.h"

#include "Console.h"
#include "Journal.h"
#include "PathText.h"
#include "System.h"
#include "platform.h"

namespace host {

namespace {

bool ReadJournal(const std::string& path, TJournal& journal, TConsole& console) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        console.Err(path + ": cannot read the journal");
        return false;
    }
    if (!ParseJournal(text, journal)) {
        console.Err(path + ": not a pelmora journal");
        return false;
    }
    return true;
}

bool HasWorkLeft(const TJournal& journal) {
    for (const TJournalEntry& e : journal.entries) {
        if (!e.undone && e.state != TEntryState::Failed) return true;
    }
    return false;
}

// The newest journal of the state folder that no undo has gone through yet.
bool NextToUndo(const THostContext& context, TConsole& console, std::string& path) {
    std::vector<std::string> names;
    std::string error;
    const std::string where = context.stateFolder.empty() ? std::string("the state folder") : context.stateFolder;
    if (context.stateFolder.empty() || !ListFolder(context.stateFolder, names, error) ||
        NewestJournal(names).empty()) {
        console.Err("no journal in " + where + "; nothing to undo");
        return false;
    }
    const std::vector<std::string> journals = JournalsInOrder(names);
    for (auto name = journals.rbegin(); name != journals.rend(); ++name) {
        std::string text;
        TJournal journal;
        const std::string candidate = JoinPath(context.stateFolder, *name);
        if (!ReadWholeFile(candidate, text) || !ParseJournal(text, journal)) continue;
        if (!journal.undoRan && HasWorkLeft(journal)) {
            path = candidate;
            return true;
        }
    }
    console.Err("every journal in " + where + " is undone; nothing to undo (pelmora --history lists them)");
    return false;
}

// The folder every path lies in.
std::string CommonFolder(const std::vector<TJournalEntry>& entries) {
    std::string common;
    for (const TJournalEntry& e : entries) {
        const std::string folder = ParentOf(e.oldPath);
        if (common.empty()) {
            common = folder;
            continue;
        }
        while (!common.empty() && !(folder == common || (folder.size() > common.size() &&
                                                         folder.compare(0, common.size(), common) == 0 &&
                                                         IsSlash(folder[common.size()])))) {
            const std::string up = ParentOf(common);
            common = up == common ? std::string() : up;
        }
    }
    return common;
}

}  // namespace

int RunUndo(const TCommand& command, const THostContext& context) {
    TConsole report(context);
    std::string path = command.undoJournal;
    if (path.empty() && !NextToUndo(context, report, path)) return kExitFailed;
    TJournal parsed;
    if (!ReadJournal(path, parsed, report)) return kExitFailed;
    std::vector<TJournalEntry>& entries = parsed.entries;
    TFilePtr journal;
    if (!command.dryRun) {
        journal.reset(OpenForAppending(path));
        if (journal == nullptr) report.Err(path + ": cannot note the undo in the journal; a second undo will say so");
    }
    std::size_t restored = 0, inPlace = 0, leftAlone = 0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->undone || entry->state == TEntryState::Failed) continue;
        const bool caseOnly = NameKey(entry->oldPath) == NameKey(entry->newPath);
        TFileId found;
        const bool newThere = Exists(entry->newPath);
        const bool oldThere = !caseOnly && Exists(entry->oldPath);
        // Journals of earlier versions hold no identity: the name alone decides.
        const bool same = !entry->id.valid || (IdentityOf(entry->newPath, found) && found == entry->id);
        // A run killed between its journal line and the move: did the move happen?
        if (entry->state == TEntryState::Pending && !(newThere && !oldThere && same)) {
            if (newThere && !oldThere) {
                ++leftAlone;
                report.Err(entry->newPath + ": changed since the run; left alone");
            }
            continue;
        }
        if (!newThere) {
            if (oldThere) {
                ++inPlace;
            } else {
                ++leftAlone;
                report.Err(entry->newPath + " is gone; " + entry->oldPath + " cannot be restored");
            }
            continue;
        }
        if (!same) {
            ++leftAlone;
            report.Err(entry->newPath + ": changed since the run; left alone");
            continue;
        }
        if (oldThere) {
            ++leftAlone;
            report.Err(entry->newPath + ": not put back, a file stands at " + entry->oldPath + "; left alone");
            continue;
        }
        if (!command.dryRun && !platform::MoveNoReplaceUtf8(entry->newPath, entry->oldPath)) {
            ++leftAlone;
            report.Err(entry->newPath + ": not put back to " + entry->oldPath + ": " + LastErrorText());
            continue;
        }
        ++restored;
        report.Out(entry->newPath + " -> " + entry->oldPath + "\n");
        if (journal != nullptr) {
            const std::string line = JournalLine(kKindUndone, entry->oldPath, entry->newPath);
            std::fputs(line.c_str(), journal.get());
            FlushFile(journal.get());
        }
    }
    if (journal != nullptr) {
        const std::string note = std::string(kUndoneNote) + TimeStamp() + "\n";
        std::fputs(note.c_str(), journal.get());
        FlushFile(journal.get());
    }
    report.Out(std::to_string(restored) + (command.dryRun ? " to restore, " : " restored, ") +
               std::to_string(inPlace) + " already in place, " + std::to_string(leftAlone) + " left alone (" + path +
               ")\n");
    return leftAlone > 0 ? kExitFailed : kExitSuccess;
}

int RunHistory(const TCommand&, const THostContext& context) {
    TConsole console(context);
    std::vector<std::string> names;
    std::string error;
    if (context.stateFolder.empty() || !ListFolder(context.stateFolder, names, error)) {
        console.Out("no journals" + (context.stateFolder.empty() ? std::string() : " in " + context.stateFolder) + "\n");
        return kExitSuccess;
    }
    const std::vector<std::string> journals = JournalsInOrder(names);
    std::string next;
    for (auto name = journals.rbegin(); name != journals.rend() && next.empty(); ++name) {
        std::string text;
        TJournal journal;
        if (ReadWholeFile(JoinPath(context.stateFolder, *name), text) && ParseJournal(text, journal) &&
            !journal.undoRan && HasWorkLeft(journal)) {
            next = *name;
        }
    }
    for (const std::string& name : journals) {
        const std::string path = JoinPath(context.stateFolder, name);
        std::string text;
        TJournal journal;
        if (!ReadWholeFile(path, text) || !ParseJournal(text, journal)) {
            console.Out(name + "  not a pelmora journal\n");
            continue;
        }
        std::size_t renamed = 0, undone = 0;
        for (const TJournalEntry& e : journal.entries) {
            if (e.state == TEntryState::Failed) continue;
            ++renamed;
            if (e.undone) ++undone;
        }
        std::string state = "not undone";
        if (journal.undoRan) {
            state = undone == renamed ? "undone" : "undone but " + std::to_string(renamed - undone) + " left alone";
        } else if (undone > 0) {
            state = std::to_string(undone) + " of " + std::to_string(renamed) + " undone";
        }
        // "2026-12-08_18-49-10.272Z" reads as "2026-12-08 18:49:10".
        std::string when = name.substr(0, name.size() - std::string(kJournalExtension).size());
        constexpr std::size_t kStampLength = 19;
        if (when.size() >= kStampLength && when[10] == '_') {
            when = when.substr(0, 10) + " " + when.substr(11, 2) + ":" + when.substr(14, 2) + ":" + when.substr(17, 2);
        }
        console.Out(when + "  " + std::to_string(renamed) + " renamed, " + state + "  " + CommonFolder(journal.entries) +
                    "  " + path + (name == next ? "  (next --undo)" : "") + "\n");
    }
    if (journals.empty()) console.Out("no journals in " + context.stateFolder + "\n");
    return kExitSuccess;
}

}  // namespace host
