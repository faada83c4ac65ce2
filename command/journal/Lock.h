// One pelmora at a time changes names or reads journals: the lock in the
// state folder that a real run, undo and history take.
#pragma once

#include <string>

#include "Context.h"
#include "System.h"

namespace host {

class TStateLock {
public:
    // what: the job, for the others' message ("a rename"). Waits a short time
    // for another pelmora to finish; false with the line to print when it
    // does not. Without a state folder, or one this user may not write to,
    // there is nothing to lock.
    bool Take(const THostContext& context, const std::string& what, std::string& error);

private:
    TLockFile file_;
};

}  // namespace host
