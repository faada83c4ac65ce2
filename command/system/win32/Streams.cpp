// Windows side of the process and its standard streams.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdlib>

#include "Shared.h"
#include "Streams.h"

namespace host {

namespace {

bool WriteTo(DWORD which, const std::string& text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(text);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
               written == wide.size();
    }
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

void OpenClosedStandardStreams() {
    static constexpr DWORD kStandard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int fd = 0; fd < 3; ++fd) {
        const HANDLE handle = GetStdHandle(kStandard[fd]);
        // A handle may also stand for nothing: Wine hands out one for a closed
        // descriptor, a "disk file" that even an empty write calls no handle.
        SetLastError(NO_ERROR);
        const DWORD type = handle == nullptr || handle == INVALID_HANDLE_VALUE ? FILE_TYPE_UNKNOWN : GetFileType(handle);
        DWORD written = 0;
        const bool closed = handle == nullptr || handle == INVALID_HANDLE_VALUE ||
                            (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) ||
                            (fd > 0 && type == FILE_TYPE_DISK && !WriteFile(handle, "", 0, &written, nullptr) &&
                             GetLastError() == ERROR_INVALID_HANDLE);
        if (closed) {
            const HANDLE null = CreateFileW(L"NUL", fd == 0 ? GENERIC_READ : GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            if (null != INVALID_HANDLE_VALUE) SetStdHandle(kStandard[fd], null);
        }
        // The C runtime's descriptors too, which the journal's file would otherwise take.
        if (closed || _get_osfhandle(fd) == -1) {
            const int opened = _wopen(L"NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
            if (opened >= 0 && opened != fd) {
                _dup2(opened, fd);
                _close(opened);
            }
        }
    }
}

bool WriteOut(const std::string& text) { return WriteTo(STD_OUTPUT_HANDLE, text); }
bool WriteErr(const std::string& text) { return WriteTo(STD_ERROR_HANDLE, text); }
void IgnoreWriteSignals() {}

namespace {

// The numbers the C runtime gives these events, so that the exit status is
// the same as for the signals elsewhere.
constexpr LONG kInterrupt = 2, kBreak = 21, kHangUp = 1;
// The system ends the process some seconds after the console's closing: time
// for the run to finish its file and say where it stopped.
constexpr DWORD kClosingGrace = 4000;

volatile LONG caught = 0;

BOOL WINAPI onControl(DWORD event) {
    const LONG signal = event == CTRL_C_EVENT ? kInterrupt : event == CTRL_BREAK_EVENT ? kBreak
                        : event == CTRL_CLOSE_EVENT                        ? kHangUp
                                                                           : 0;
    if (signal == 0) return FALSE;
    // A second one ends the process at once, as elsewhere.
    if (InterlockedExchange(&caught, signal) != 0) return FALSE;
    if (event == CTRL_CLOSE_EVENT) Sleep(kClosingGrace);
    return TRUE;
}

}  // namespace

void CatchStopSignals() { SetConsoleCtrlHandler(onControl, TRUE); }

int StopSignal() { return static_cast<int>(caught); }

std::string SignalName(int signal) {
    switch (signal) {
    case kInterrupt: return "Ctrl-C";
    case kBreak: return "Ctrl-Break";
    case kHangUp: return "the console's closing";
    default: return "signal " + std::to_string(signal);
    }
}

bool ErrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void KillSelf() {
    constexpr UINT kKilledStatus = 137;
    TerminateProcess(GetCurrentProcess(), kKilledStatus);
    std::_Exit(EXIT_FAILURE);
}

std::string Utf8FromWide(const wchar_t* text) { return text != nullptr ? Narrow(text) : std::string(); }

}  // namespace host
