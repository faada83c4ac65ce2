// Undo: a journal's renames put back, newest first, never over another file.
#pragma once

#include "HostCommand.h"
#include "HostCore.h"

namespace host {

int RunUndo(const TCommand& command, const THostContext& context);

}  // namespace host
