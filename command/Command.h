// The pelmora command: a host that loads the plug-in by file name and renames
// files through its exports alone, with a preview that marks what a real run
// could not do, a journal of every rename, and undo from that journal.
// Everything here is portable; system/ holds the operating-system verbs.
#pragma once

#include <string>
#include <vector>

#include "Context.h"

namespace host {

// Runs the command; its exit status.
int RunPelmora(const std::vector<std::string>& args, const THostContext& context);

}  // namespace host
