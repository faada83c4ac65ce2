// Shows the options window of the Pelmora.dll beside this program for a few
// seconds, as a host would open it on a new record, and closes it again:
// scripts/screenshot.sh photographs it. Usage: options_preview [seconds
// [readyFile]]; once the window is on the screen, readyFile receives its
// outer rectangle as "x y width height".
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kHostClass[] = "PelmoraPreviewHost";
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT_PTR kWatchTimer = 2;
constexpr UINT kWatchInterval = 100;
constexpr int kDefaultSeconds = 5;
constexpr int kMillisecondsPerSecond = 1000;

using InitializeFunction = void(__stdcall*)(HWND);
using ShowOptionsFunction = std::int32_t(__stdcall*)(std::uint8_t, void**, char**);
using FreeOptFunction = void(__stdcall*)(void*);

const char* readyFile = nullptr;

// Tells the photographer where the window is, once it has been painted.
void reportWhenShown(HWND host) {
    HWND options = FindWindowA("TPelmoraWindow", nullptr);
    if (options == nullptr || !IsWindowVisible(options)) return;
    KillTimer(host, kWatchTimer);
    RECT r{};
    GetWindowRect(options, &r);
    if (FILE* f = std::fopen(readyFile, "w")) {
        std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fclose(f);
    }
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kWatchTimer) {
        reportWhenShown(window);
        return 0;
    }
    if (message == WM_TIMER && wParam == kCloseTimer) {
        KillTimer(window, kCloseTimer);
        if (HWND options = FindWindowA("TPelmoraWindow", nullptr)) PostMessageA(options, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

template <class Function>
Function resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string pluginPath() {
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    const std::string path(buffer, n);
    return path.substr(0, path.rfind('\\') + 1) + "Pelmora.dll";
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : kDefaultSeconds;
    readyFile = argc > 2 ? argv[2] : nullptr;
    HMODULE plugin = LoadLibraryA(pluginPath().c_str());
    if (plugin == nullptr) return 1;
    auto initialize = resolve<InitializeFunction>(plugin, "initialize");
    auto showOptions = resolve<ShowOptionsFunction>(plugin, "showOptions");
    auto freeOpt = resolve<FreeOptFunction>(plugin, "freeOpt");
    if (initialize == nullptr || showOptions == nullptr || freeOpt == nullptr) return 1;

    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = hostProc;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = kHostClass;
    RegisterClassA(&hostClass);
    // A small host in the corner, active as a host is when the user opens
    // the options, and clear of the centred options window.
    HWND host = CreateWindowExA(0, kHostClass, "Pelmora preview", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, hostClass.hInstance, nullptr);
    if (host == nullptr) return 1;
    ShowWindow(host, SW_SHOWNORMAL);
    SetForegroundWindow(host);
    SetTimer(host, kCloseTimer, static_cast<UINT>(seconds * kMillisecondsPerSecond), nullptr);
    if (readyFile != nullptr) SetTimer(host, kWatchTimer, kWatchInterval, nullptr);

    initialize(host);
    void* options = nullptr;
    char* description = nullptr;
    showOptions(1, &options, &description);
    freeOpt(options);
    DestroyWindow(host);
    FreeLibrary(plugin);
    return 0;
}
