// A stand-in renamer for the release check: loads the Pelmora.dll it is given
// (the one unpacked from the zip), looks up the eight exports by name and
// calls each as a host does, printing what it got back for the script to
// judge. Needs a display: the options window is opened, edited and closed
// through OK from a timer of the host's own window.
//
//   package_host.exe DLL PREVIEW.mp3 RENAME.mp3
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "PluginRecords.h"

namespace {

constexpr char kHostClass[] = "PelmoraPackageHost";
constexpr UINT_PTR kDriveTimer = 1;
constexpr UINT kDriveInterval = 100;
constexpr int kOkId = 1;
constexpr int kID3v1RadioId = 4;
constexpr char kEditedPattern[] = "*track* *title*";

bool windowDriven = false;

// Once the options window shows: a new pattern, the other tag, then OK.
LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kDriveTimer) {
        HWND options = FindWindowA("TPelmoraWindow", nullptr);
        if (options != nullptr && IsWindowVisible(options)) {
            KillTimer(window, kDriveTimer);
            SetWindowTextA(FindWindowExA(options, nullptr, "Edit", nullptr), kEditedPattern);
            SendMessageA(GetDlgItem(options, kID3v1RadioId), BM_CLICK, 0, 0);
            SendMessageA(GetDlgItem(options, kOkId), BM_CLICK, 0, 0);
            windowDriven = true;
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string field(const char* text, std::size_t size) { return std::string(text, strnlen(text, size)); }

// The new path that process hands back, or the old one when it hands back none.
std::string callProcess(const PluginExports& plugin, PluginOptions* record, const std::string& file, bool preview) {
    std::string text = file;
    char* path = text.data();
    PluginOptions* options = record;
    plugin.process(&path, text.c_str(), nullptr, nullptr, &options, preview ? 1 : 0);
    return path != nullptr ? std::string(path) : file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: package_host DLL PREVIEW.mp3 RENAME.mp3\n");
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    if (module == nullptr) {
        std::printf("load: failed (%lu)\n", GetLastError());
        return 1;
    }
    PluginExports plugin;
    const bool all = plugin.Resolve(
        [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); });
    std::printf("exports: %s\n", all ? "all eight" : "missing");
    if (!all) return 1;

    PluginInfo info;
    std::memset(&info, 0xFF, sizeof info);
    plugin.getInfo(&info);
    std::printf("version: %s\ntitle: %s\nauthor: %s\ncategory: %s\nmask: %s\noptionsSize: %d\n",
                field(info.version, sizeof info.version).c_str(), field(info.title, sizeof info.title).c_str(),
                field(info.author, sizeof info.author).c_str(), field(info.category, sizeof info.category).c_str(),
                field(info.mask, sizeof info.mask).c_str(), static_cast<int>(info.optionsSize));

    std::int32_t buttons = -1;
    plugin.exportBtns(nullptr, &buttons);
    plugin.clickBtn();
    std::printf("buttons: %d\n", static_cast<int>(buttons));

    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = hostProc;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = kHostClass;
    RegisterClassA(&hostClass);
    HWND host = CreateWindowExA(0, kHostClass, "Pelmora package host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, hostClass.hInstance, nullptr);
    if (host == nullptr) return 1;
    ShowWindow(host, SW_SHOWNORMAL);
    plugin.initialize(host);
    SetTimer(host, kDriveTimer, kDriveInterval, nullptr);
    PluginOptions* edited = nullptr;
    char* description = nullptr;
    const std::int32_t accepted = plugin.showOptions(1, &edited, &description);
    std::printf("showOptions: %d, driven %d, description: %s\n", static_cast<int>(accepted), windowDriven ? 1 : 0,
                description != nullptr ? description : "(none)");
    if (edited != nullptr) {
        std::printf("edited record: %s, tag %d\n", field(edited->pattern, sizeof edited->pattern).c_str(),
                    static_cast<int>(edited->tagSource));
        plugin.freeOpt(edited);
    }
    DestroyWindow(host);

    PluginOptions* record = nullptr;
    plugin.newOpt(&record);
    if (record == nullptr) return 1;
    std::memset(record, 0, sizeof *record);
    std::memcpy(record->pattern, "*artist* - *title*", sizeof "*artist* - *title*" - 1);
    std::printf("preview: %s\n", callProcess(plugin, record, argv[2], true).c_str());
    const std::string renamed = callProcess(plugin, record, argv[3], false);
    std::printf("renamed: %s, there %d\n", renamed.c_str(),
                GetFileAttributesA(renamed.c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
    plugin.freeOpt(record);
    FreeLibrary(module);
    return 0;
}
