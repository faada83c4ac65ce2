// Undo: a journal's renames put back, newest first, never over another file
// and never to a file that is not the one the run renamed; and the history
// of the journals in the state folder.
#pragma once

#include "CommandLine.h"
#include "Context.h"

namespace host {

int RunUndo(const TCommand& command, const THostContext& context);
int RunHistory(const TCommand& command, const THostContext& context);

}  // namespace host
