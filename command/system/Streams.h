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
// A write into a closed pipe or past the file-size limit fails with an error
// instead of ending the process.
void IgnoreWriteSignals();

// From now on an interrupt (Ctrl-C, SIGINT), SIGTERM or SIGHUP (Ctrl-Break and
// the console's closing on Windows) only asks the command to stop: the run
// stops before its next file and says so. A second one ends the process at
// once. Signals ignored when the command starts (nohup) stay ignored.
void CatchStopSignals();
// The signal that asked to stop, 0 while none has; 128 plus it is the exit status.
int StopSignal();
// Its name for a message: "SIGINT", "Ctrl-Break".
std::string SignalName(int signal);

// Ends the process at once, as a kill would: nothing is flushed or cleaned up.
[[noreturn]] void KillSelf();

#ifdef _WIN32
// A UTF-16 text (a command-line argument) as UTF-8.
std::string Utf8FromWide(const wchar_t* text);
#endif

}  // namespace host
