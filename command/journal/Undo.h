// Undo: a journal's renames put back, newest first, never over another file
// and never to a file that is not the one the run renamed; and the history
// of the journals in the state folder.
#pragma once

#include <string>
#include <vector>

#include "CommandLine.h"
#include "Context.h"
#include "Journal.h"

namespace host {

// The run a bare --undo takes: one not yet undone, or one whose undo left a
// file that can go back now that the way may be clear.
bool NextToUndo(const TJournal& journal);
// The state folder's journals, oldest first; empty with a message when there are none.
std::vector<std::string> StateJournals(const THostContext& context, std::string& error);

int RunUndo(const TCommand& command, const THostContext& context);
// History.cpp
int RunHistory(const TCommand& command, const THostContext& context);

}  // namespace host
