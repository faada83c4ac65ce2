// The run's journal.
#include "RunJournal.h"

#include <cstdlib>

#include "Streams.h"

namespace host {

TRunJournal::TRunJournal(const TCommand& command, const THostContext& context)
    : command_(command), context_(context), stamp_(TimeStamp()) {
    const std::size_t colon = context.killAfterLine.find(':');
    if (colon != std::string::npos) {
        killKind_ = context.killAfterLine.substr(0, colon);
        killAt_ = std::strtol(context.killAfterLine.c_str() + colon + 1, nullptr, 10);
    }
}

bool TRunJournal::Open(std::string& error) {
    if (journal_.IsOpen()) return true;
    if (!command_.journalPath.empty()) return journal_.OpenNamed(command_.journalPath, stamp_, error);
    if (context_.stateFolder.empty()) {
        error = "no folder for the undo journal (HOME is not set); use --journal FILE or --no-journal";
        return false;
    }
    return journal_.Create(context_.stateFolder, stamp_, error);
}

bool TRunJournal::Renaming(const std::string& oldPath, const std::string& newPath, const TFileId& id,
                           std::string& error) {
    return command_.noJournal || (Open(error) && Step(kKindRenaming, oldPath, newPath, id, error));
}

bool TRunJournal::Folder(const char* kind, const std::string& folder, std::string& error) {
    if (command_.noJournal) return true;
    if (!Open(error) || !Step(kind, folder, std::string(), TFileId {}, error)) return false;
    ++folders_;
    return true;
}

void TRunJournal::NotMade() {
    if (journal_.IsOpen() && journal_.TakeBackLast()) --folders_;
}

bool TRunJournal::Step(const char* kind, const std::string& oldPath, const std::string& newPath, const TFileId& id,
                       std::string& error) {
    if (!journal_.IsOpen()) return true;
    if (!journal_.Write(kind, oldPath, newPath, id, error)) return false;
    // Once a move is told whole, its "renaming" line is no longer the only word.
    pending_ = kind == std::string_view(kKindRenaming);
    if (killAt_ > 0 && killKind_ == kind && ++killKindLines_ == killAt_) KillSelf();
    return true;
}

void TRunJournal::Finish(std::size_t renamed) {
    if (renamed == 0 && !pending_ && folders_ == 0) journal_.Discard();
}

}  // namespace host
