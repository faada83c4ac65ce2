// The journal of one rename run: made at the run's first step (so that a run
// that renames nothing leaves none to shadow the one before it), each step
// written before the next; none with --no-journal.
#pragma once

#include <string>

#include "CommandLine.h"
#include "Context.h"
#include "Journal.h"

namespace host {

class TRunJournal {
public:
    TRunJournal(const TCommand& command, const THostContext& context);
    // Each false with the reason when the line cannot be written: the run stops.
    // Renaming comes before the move, so a run killed inside it still leaves
    // the move on record; Renamed gives the name the file really got.
    bool Renaming(const std::string& oldPath, const std::string& newPath, const TFileId& id, std::string& error);
    bool Renamed(const std::string& oldPath, const std::string& newPath, const TFileId& id, std::string& error) {
        return Step(kKindRenamed, oldPath, newPath, id, error);
    }
    bool Failed(const std::string& oldPath, const std::string& newPath, std::string& error) {
        return Step(kKindFailed, oldPath, newPath, TFileId {}, error);
    }
    // Before a folder is made or removed (kKindMaking, kKindRemoving).
    bool Folder(const char* kind, const std::string& folder, std::string& error);
    // The folder of the last Folder line was not made (another made it
    // meanwhile, say): its line goes, so that undo never takes that folder away.
    void NotMade();
    // The journal removed when it tells of no step that may have happened.
    void Finish(std::size_t renamed);
    bool IsOpen() const { return journal_.IsOpen(); }
    const std::string& Path() const { return journal_.Path(); }

private:
    bool Open(std::string& error);
    bool Step(const char* kind, const std::string& oldPath, const std::string& newPath, const TFileId& id,
              std::string& error);

    const TCommand& command_;
    const THostContext& context_;
    std::string stamp_;  // the run's start, which names its journal
    TJournal journal_;
    bool pending_ = false;  // a "renaming" line with nothing after it: the move may have happened
    std::size_t folders_ = 0;  // folder steps written: undo has folders to see to
    std::string killKind_;    // the test hook's kind of line, and after how many of them it dies
    long killAt_ = 0;
    long killKindLines_ = 0;  // lines of that kind written
};

}  // namespace host
