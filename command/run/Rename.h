// The rename run: the plug-in loaded and given its options, the files
// collected, each judged and (unless previewing) renamed and journaled.
#pragma once

#include "CommandLine.h"
#include "Context.h"

namespace host {

int RunRename(const TCommand& command, const THostContext& context);

}  // namespace host
