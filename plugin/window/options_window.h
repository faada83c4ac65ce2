// The options window: a small modal window that edits one options record.
// Only the Windows build has one; elsewhere it can never be created. The
// exports hand it everything it uses of theirs: the host's window and the heap
// that new records come from.
#pragma once

#include <cstdint>

struct PluginOptions;

namespace pelmora {

// A new, uninitialised record from the heap that every record goes back to.
using TOptionsAllocator = PluginOptions* (*)();

// Registers the window class "TPelmoraWindow" and builds the popup menu of the
// twelve placeholders; the menu is built only when the class was registered.
void prepareOptionsWindow();

// The body of the showOptions export: the window is owned by hostWindow, which
// is disabled while it shows.
std::int32_t runOptionsWindow(void* hostWindow, TOptionsAllocator allocate, bool newRecord, PluginOptions** options,
                              char** description);

#ifdef _WIN32
// The window's drawing helpers, open to the window tests. Handles travel as
// void* so that this header needs no system header.

// The colour `percent` (at most 100) of the way from `from` to `to`; colours
// are 0x00BBGGRR, each channel rounded half to even.
std::uint32_t blendColors(std::uint32_t from, std::uint32_t to, std::uint8_t percent);
// Gives a push button five copies of one bitmap (imageType 0) or icon (1),
// the disabled one faded; a button without image lists gets the single image.
// 0 for any other image type.
std::intptr_t setButtonIcon(void* button, void* image, std::uint32_t imageType, int width, int height);
// Draws a bitmap with its top at y and its right edge 6 px left of rightX.
void drawBitmapRightAligned(void* dc, int rightX, int y, void* bitmap);
#endif

}  // namespace pelmora
