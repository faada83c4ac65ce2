// The run's journal.
#include "RunJournal.h"

namespace host {

TRunJournal::TRunJournal(const TCommand& command, const THostContext& context)
    : command_(command), context_(context), stamp_(TimeStamp()) {}

bool TRunJournal::Renaming(const std::string& oldPath, const std::string& newPath, const TFileId& id,
                           std::string& error) {
    if (command_.noJournal) return true;
    if (!journal_.IsOpen()) {
        bool opened = false;
        if (!command_.journalPath.empty()) {
            opened = journal_.OpenNamed(command_.journalPath, stamp_, error);
        } else if (context_.stateFolder.empty()) {
            error = "no folder for the undo journal (HOME is not set); use --journal FILE or --no-journal";
        } else {
            opened = journal_.Create(context_.stateFolder, stamp_, error);
        }
        if (!opened) return false;
    }
    if (!Step(kKindRenaming, oldPath, newPath, id, error)) return false;
    pending_ = true;
    return true;
}

bool TRunJournal::Renamed(const std::string& oldPath, const std::string& newPath, const TFileId& id,
                          std::string& error) {
    return Step(kKindRenamed, oldPath, newPath, id, error);
}

bool TRunJournal::Failed(const std::string& oldPath, const std::string& newPath, std::string& error) {
    return Step(kKindFailed, oldPath, newPath, TFileId {}, error);
}

bool TRunJournal::Step(const char* kind, const std::string& oldPath, const std::string& newPath, const TFileId& id,
                       std::string& error) {
    if (!journal_.IsOpen()) return true;
    if (!journal_.Write(kind, oldPath, newPath, id, error)) return false;
    // Once a move is told whole, its "renaming" line is no longer the only word.
    pending_ = kind == kKindRenaming;
    return true;
}

void TRunJournal::Finish(std::size_t renamed) {
    if (renamed == 0 && !pending_) journal_.Discard();
}

}  // namespace host
