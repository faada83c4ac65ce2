// Undo of a journal.
#include "HostUndo.h"

#include "HostJournal.h"
#include "HostPath.h"
#include "HostReport.h"
#include "HostSystem.h"
#include "platform.h"

namespace host {

int RunUndo(const TCommand& command, const THostContext& context) {
    TConsole report(context);
    std::string path = command.undoJournal;
    if (path.empty()) {
        std::vector<std::string> names;
        std::string error;
        if (context.stateFolder.empty() || !ListFolder(context.stateFolder, names, error) ||
            (path = NewestJournal(names)).empty()) {
            report.Err("no journal in " + (context.stateFolder.empty() ? std::string("the state folder")
                                                                        : context.stateFolder) + "; nothing to undo");
            return kExitFailed;
        }
        path = JoinPath(context.stateFolder, path);
    }
    std::string text;
    if (!ReadWholeFile(path, text)) {
        report.Err(path + ": cannot read the journal");
        return kExitFailed;
    }
    std::vector<TJournalEntry> entries;
    if (!ParseJournal(text, entries)) {
        report.Err(path + ": not a pelmora journal");
        return kExitFailed;
    }
    TFilePtr journal;
    if (!command.dryRun) {
        journal.reset(OpenForAppending(path));
        if (journal == nullptr) report.Err(path + ": cannot note the undo in the journal; a second undo will say so");
    }
    std::size_t restored = 0, inPlace = 0, leftAlone = 0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->undone || entry->state == TEntryState::Failed) continue;
        const bool caseOnly = NameKey(entry->oldPath) == NameKey(entry->newPath);
        const bool newThere = Exists(entry->newPath);
        const bool oldThere = !caseOnly && Exists(entry->oldPath);
        // A run killed between its journal line and the move: did the move happen?
        if (entry->state == TEntryState::Pending && !(newThere && !oldThere)) continue;
        if (!newThere) {
            if (oldThere) {
                ++inPlace;
            } else {
                ++leftAlone;
                report.Err(entry->newPath + " is gone; " + entry->oldPath + " cannot be restored");
            }
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
    report.Out(std::to_string(restored) + (command.dryRun ? " to restore, " : " restored, ") +
               std::to_string(inPlace) + " already in place, " + std::to_string(leftAlone) + " left alone (" + path +
               ")\n");
    return leftAlone > 0 ? kExitFailed : kExitSuccess;
}

}  // namespace host
