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
