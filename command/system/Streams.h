// The process and its standard streams: text goes out as UTF-8 (as UTF-16 to
// a Windows console).
#pragma once

#include <string>

namespace host {

// Opens standard input, output and error on the null device where they are
// closed, so that no file the command opens takes their place.
void OpenClosedStandardStreams();

// False when the text could not be written whole (a closed pipe, a full disk).
bool WriteOut(const std::string& text);
bool WriteErr(const std::string& text);
bool ErrIsTerminal();
// A write into a closed pipe fails with an error instead of ending the process.
void IgnoreBrokenPipes();

// Ends the process at once, as a kill would: nothing is flushed or cleaned up.
[[noreturn]] void KillSelf();

#ifdef _WIN32
// A UTF-16 text (a command-line argument) as UTF-8.
std::string Utf8FromWide(const wchar_t* text);
#endif

}  // namespace host
