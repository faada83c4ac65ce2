// The options window: a small modal window that edits one options record.
// Only the Windows build has one; elsewhere it can never be created.
#pragma once

#include <cstdint>

struct PluginOptions;

namespace pelmora {

// Registers the window class "TPelmoraWindow"; true on success.
bool registerOptionsClass();
// Builds the popup menu of the twelve placeholders.
void* buildPlaceholderMenu();
// The body of the showOptions export.
std::int32_t runOptionsWindow(bool newRecord, PluginOptions** options, char** description);

extern void* placeholderMenu;

}  // namespace pelmora
