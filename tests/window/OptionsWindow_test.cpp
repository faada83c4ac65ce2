// The options window of the loaded Pelmora.dll, used as a person would use it:
// a host window of our own, initialize, then showOptions on this thread while
// a second thread finds the window, reads it and works it with posted mouse
// and keyboard messages. Also the window's helpers (blendColors,
// setButtonIcon) and the module's pictures.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "options_window.h"

using namespace testing_support;

namespace {

constexpr char kClassName[] = "TPelmoraWindow";
constexpr char kCaption[] = "\xCE\xEF\xF6\xE8\xE8 \xEF\xF0\xE5\xEE\xE1\xF0\xE0\xE7\xEE\xE2\xE0\xED\xE8\xFF ";
constexpr char kTagVersion[] = "\xC2\xE5\xF0\xF1\xE8\xFF \xF2\xE5\xE3\xE0";
constexpr char kCancel[] = "\xCE\xF2\xEC\xE5\xED\xE0";
constexpr char kMask[] = "\xCC\xE0\xF1\xEA\xE0:";
constexpr char kDefaultPattern[] = "*artist* - *title*";
constexpr int kOuterWidth = 263;
constexpr int kOuterHeight = 257;
constexpr int kPatternLimit = 255;
constexpr UINT kProbeMessage = WM_APP + 1;
constexpr auto kPatience = std::chrono::seconds(10);

struct MenuRow {
    UINT id;
    const char* placeholder;
    const char* text;
};
const MenuRow kMenu[] = {
    {6, "*artist*", "*artist* - \xC8\xF1\xEF\xEE\xEB\xED\xE8\xF2\xE5\xEB\xFC"},
    {7, "*title*", "*title* - \xCD\xE0\xE7\xE2\xE0\xED\xE8\xE5"},
    {8, "*album*", "*album* - \xC0\xEB\xFC\xE1\xEE\xEC"},
    {9, "*year*", "*year* - \xC3\xEE\xE4"},
    {10, "*comment*", "*comment* - \xCA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9"},
    {11, "*genre*", "*genre* - \xC6\xE0\xED\xF0"},
    {12, "*track*", "*track* - \xCD\xEE\xEC\xE5\xF0 \xF2\xF0\xE5\xEA\xE0"},
    {13, "*bitrate*", "*bitrate* - \xC1\xE8\xF2\xF0\xE5\xE9\xF2"},
    {14, "*sample*", "*sample* - \xD7\xE0\xF1\xF2\xEE\xF2\xE0"},
    {15, "*mode*", "*mode* - \xD0\xE5\xE6\xE8\xEC"},
    {16, "*time*", "*time* - \xC4\xEB\xE8\xF2\xE5\xEB\xFC\xED\xEE\xF1\xF2\xFC"},
    {17, "*filename*", "*filename* - \xC8\xEC\xFF \xF4\xE0\xE9\xEB\xE0"},
};

template <class Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = kPatience) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(2);
    }
    return true;
}

std::atomic<WPARAM> probeSeen{0};
std::atomic<WPARAM> probeTicket{0};

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbeMessage) {
        probeSeen.store(wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The plug-in, loaded once for the whole run (its window class outlives it),
// a host window and a message-only probe window, all on the test thread.
struct Session {
    Plugin plugin;
    HWND host = nullptr;
    HWND probe = nullptr;
    bool initialized = false;

    static Session& Get() {
        static Session session;
        return session;
    }

    void Initialize() {
        if (initialized) return;
        plugin.initialize(host);
        initialized = true;
    }

private:
    Session() {
        if (!plugin.Load(PluginPath())) return;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "PelmoraTestHost";
        RegisterClassA(&windowClass);
        host = CreateWindowExA(0, windowClass.lpszClassName, "Host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                               nullptr, windowClass.hInstance, nullptr);
        windowClass.lpfnWndProc = probeProc;
        windowClass.lpszClassName = "PelmoraTestProbe";
        RegisterClassA(&windowClass);
        probe = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    }
};

// Returns once the test thread has handled everything posted to it so far,
// including the characters that TranslateMessage made of posted keys.
void flush() {
    for (int round = 0; round < 2; ++round) {
        const WPARAM ticket = ++probeTicket;
        PostMessageA(Session::Get().probe, kProbeMessage, ticket, 0);
        EXPECT_TRUE(waitFor([&] { return probeSeen.load() >= ticket; })) << "the window's thread stopped";
    }
}

std::string textOf(HWND window) {
    char buffer[1024] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::string classOf(HWND window) {
    char buffer[256] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

RECT rectIn(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A rectangle as one value that EXPECT_EQ compares and prints.
auto edges(const RECT& r) { return std::make_tuple(r.left, r.top, r.right, r.bottom); }

// The open window and its controls, in the order they were made.
struct OpenWindow {
    HWND main = nullptr;
    std::vector<HWND> controls;
    HWND group() const { return controls.at(0); }
    HWND radio(int i) const { return controls.at(1 + i); }
    HWND ok() const { return controls.at(3); }
    HWND cancel() const { return controls.at(4); }
    HWND dots() const { return controls.at(5); }
    HWND label() const { return controls.at(6); }
    HWND edit() const { return controls.at(7); }
};
using Drive = std::function<void(const OpenWindow&)>;

HWND focusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

void click(HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(control, WM_LBUTTONUP, 0, at);
}

void pressKey(HWND target, UINT key, bool alt = false) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
    const LPARAM altBit = alt ? LPARAM{1} << 29 : 0;
    constexpr LPARAM kReleased = LPARAM{3} << 30;
    PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1 | scan | altBit);
    PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, 1 | scan | altBit | kReleased);
}

void type(HWND target, const std::string& text) {
    for (unsigned char c : text) PostMessageA(target, WM_CHAR, c, 1);
    flush();
}

// Types over the whole text of an edit box.
void typeOver(HWND edit, const std::string& text) {
    SendMessageA(edit, EM_SETSEL, 0, -1);
    type(edit, text);
}

bool checked(HWND button) { return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Every way a person closes the window, OK first.
const std::pair<const char*, Drive> kWaysOut[] = {
    {"OK", [](const OpenWindow& w) { click(w.ok()); }},
    {"Cancel", [](const OpenWindow& w) { click(w.cancel()); }},
    {"close box", [](const OpenWindow& w) { PostMessageA(w.main, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {"Alt+F4", [](const OpenWindow& w) { pressKey(w.edit(), VK_F4, true); }},
};

// Runs showOptions on this thread while `drive` works the window from a
// second one; the window must be closed when `drive` returns.
std::int32_t showWhileDriving(std::uint8_t newRecord, PluginOptions** options, char** description, const Drive& drive) {
    Session& session = Session::Get();
    const DWORD testThread = GetCurrentThreadId();
    std::thread driver([&] {
        OpenWindow window;
        const bool ready = waitFor([&] {
            window.main = FindWindowA(kClassName, nullptr);
            if (window.main == nullptr || !IsWindowVisible(window.main)) return false;
            window.controls.clear();
            for (HWND c = GetWindow(window.main, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
                window.controls.push_back(c);
            }
            return window.controls.size() == 8 && focusOf(window.main) == window.edit();
        });
        if (!ready) {
            ADD_FAILURE() << "the options window did not open with the focus in its edit box";
            PostThreadMessageA(testThread, WM_QUIT, 0, 0);
            return;
        }
        flush();
        drive(window);
        if (!waitFor([&] { return !IsWindow(window.main); })) {
            ADD_FAILURE() << "the window was left open";
            PostMessageA(window.main, WM_CLOSE, 0, 0);
        }
    });
    const std::int32_t result = session.plugin.showOptions(newRecord, options, description);
    driver.join();
    MSG stray;
    while (PeekMessageA(&stray, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return result;
}

// A record from the plug-in's heap, zeros after its pattern; freed however
// the test ends.
struct Record {
    PluginOptions* options = nullptr;
    Record(const std::string& pattern, std::int32_t tagSource) {
        Session::Get().plugin.newOpt(&options);
        std::memset(options->pattern, 0, sizeof options->pattern);
        std::memcpy(options->pattern, pattern.data(), std::min(pattern.size(), sizeof options->pattern));
        options->tagSource = tagSource;
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() { Session::Get().plugin.freeOpt(options); }
};

class OptionsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Session& session = Session::Get();
        ASSERT_NE(session.plugin.module, nullptr) << PluginPath();
        ASSERT_NE(session.host, nullptr);
        session.Initialize();
    }
    Plugin& plugin() { return Session::Get().plugin; }
    HWND host() { return Session::Get().host; }
};

// Must run before anything calls initialize: the class does not exist yet.
TEST(OptionsWindowWithoutInitialize, ReturnsTheRecordAndReenablesTheHost) {
    Session& session = Session::Get();
    ASSERT_NE(session.plugin.module, nullptr) << PluginPath();
    if (session.initialized) GTEST_SKIP() << "initialize has been called already";

    Record existing("keep", 1);
    PluginOptions* options = existing.options;
    char* description = nullptr;
    EXPECT_EQ(session.plugin.showOptions(0, &options, &description), 0);
    EXPECT_EQ(options, existing.options);
    EXPECT_STREQ(existing.options->pattern, "keep");
    EXPECT_EQ(existing.options->tagSource, 1);
    EXPECT_EQ(description, nullptr);
    EXPECT_TRUE(IsWindowEnabled(session.host));

    EXPECT_EQ(session.plugin.showOptions(1, &options, &description), 0);
    ASSERT_NE(options, nullptr);
    EXPECT_NE(options, existing.options);
    EXPECT_STREQ(options->pattern, kDefaultPattern);
    EXPECT_EQ(options->tagSource, 0);
    EXPECT_EQ(FindWindowA(kClassName, nullptr), nullptr);
    session.plugin.freeOpt(options);
}

TEST_F(OptionsWindow, OpensCentredWithEveryControlInPlace) {
    struct Expected {
        const char* className;
        const char* text;
        LONG style;  // checking a radio button gives it the tab stop, unchecking takes it away
        LONG exStyle;
        RECT rect;
        int id;
    };
    const Expected expected[] = {
        {"Button", kTagVersion, 0x50000107, 0, {8, 110, 8 + 238, 110 + 57}, 0},
        {"Button", "ID3v2", 0x50000109, 0, {15, 125, 15 + 200, 125 + 17}, 3},  // unchecked
        {"Button", "ID3v1", 0x50010109, 0, {15, 143, 15 + 200, 143 + 17}, 4},  // checked
        {"Button", "OK", 0x50010000, 0, {79, 195, 79 + 81, 195 + 27}, 1},
        {"Button", kCancel, 0x50010000, 0, {166, 195, 166 + 81, 195 + 27}, 2},
        {"Button", "..", 0x50010000, 0, {221, 78, 221 + 25, 78 + 22}, 5},
        {"Static", kMask, 0x50000000, 0, {8, 62, 8 + 209, 62 + 13}, 0},
        {"Edit", "my *title*", 0x50010080, WS_EX_CLIENTEDGE, {8, 78, 8 + 209, 78 + 21}, 0},
    };
    Record record("my *title*", 1);
    PluginOptions* const original = record.options;
    bool hostDisabled = false;
    const std::int32_t result = showWhileDriving(0, &record.options, nullptr, [&](const OpenWindow& w) {
        hostDisabled = !IsWindowEnabled(host());
        EXPECT_EQ(textOf(w.main), kCaption);
        EXPECT_EQ(GetWindow(w.main, GW_OWNER), host());
        const LONG style = GetWindowLongA(w.main, GWL_STYLE);
        EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), WS_CAPTION | WS_SYSMENU) << std::hex << style;
        EXPECT_TRUE(GetWindowLongA(w.main, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);

        const int left = GetSystemMetrics(SM_CXSCREEN) / 2 - 131;
        const int top = GetSystemMetrics(SM_CYSCREEN) / 2 - 128;
        RECT outer{};
        GetWindowRect(w.main, &outer);
        EXPECT_EQ(edges(outer), edges({left, top, left + kOuterWidth, top + kOuterHeight}));

        for (std::size_t i = 0; i < std::size(expected); ++i) {
            SCOPED_TRACE("control " + std::to_string(i + 1));
            const Expected& e = expected[i];
            HWND c = w.controls[i];
            EXPECT_STRCASEEQ(classOf(c).c_str(), e.className);
            EXPECT_EQ(textOf(c), e.text);
            EXPECT_EQ(GetDlgCtrlID(c), e.id);
            const LONG controlStyle = GetWindowLongA(c, GWL_STYLE);
            EXPECT_EQ(controlStyle, e.style) << std::hex << controlStyle;
            // Group boxes are drawn transparent by the system itself.
            const LONG exStyle = GetWindowLongA(c, GWL_EXSTYLE) & ~(i == 0 ? WS_EX_TRANSPARENT : 0);
            EXPECT_EQ(exStyle, e.exStyle) << std::hex << exStyle;
            EXPECT_EQ(edges(rectIn(w.main, c)), edges(e.rect));
            LOGFONTA font{};
            ASSERT_NE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
            EXPECT_EQ(std::make_tuple(font.lfHeight, font.lfWeight, int{font.lfCharSet}, std::string(font.lfFaceName)),
                      std::make_tuple(-11L, 400L, DEFAULT_CHARSET, std::string("Tahoma")));
        }
        EXPECT_EQ(SendMessageA(w.edit(), EM_GETLIMITTEXT, 0, 0), kPatternLimit);
        // Both buttons draw their icon from an image list of five.
        for (HWND button : {w.ok(), w.cancel()}) {
            BUTTON_IMAGELIST list{};
            ASSERT_TRUE(SendMessageA(button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)));
            EXPECT_EQ(ImageList_GetImageCount(list.himl), 5);
        }
        click(w.cancel());
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(hostDisabled);
    EXPECT_TRUE(IsWindowEnabled(host()));
    EXPECT_EQ(record.options, original);
}

TEST_F(OptionsWindow, PaintsTheHeaderSeparatorsAndPicture) {
    HBITMAP picture = LoadBitmapA(static_cast<HMODULE>(plugin().module), "OPTBG");
    ASSERT_NE(picture, nullptr);
    HDC pictureDc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(pictureDc, picture);
    const COLORREF shadow = pelmora::blendColors(GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNFACE), 70);

    Record record(kDefaultPattern, 0);
    showWhileDriving(0, &record.options, nullptr, [&](const OpenWindow& w) {
        HDC dc = GetDC(w.main);
        RECT client{};
        GetClientRect(w.main, &client);
        for (int x : {0, 5, 100, static_cast<int>(client.right) - 1}) {
            SCOPED_TRACE("x " + std::to_string(x));
            EXPECT_EQ(GetPixel(dc, x, 50), shadow);
            EXPECT_EQ(GetPixel(dc, x, 190), shadow);
            EXPECT_EQ(GetPixel(dc, x, 51), GetSysColor(COLOR_WINDOW));
            EXPECT_EQ(GetPixel(dc, x, 191), GetSysColor(COLOR_WINDOW));
        }
        EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 255, 255));
        EXPECT_EQ(GetPixel(dc, 5, 100), GetSysColor(COLOR_BTNFACE));
        // The picture's right edge lies 6 px left of x 263; its left part
        // carries the version line, so compare the rest.
        int mismatches = 0;
        for (int y = 0; y < 50; ++y) {
            for (int x = 60; x < 100; ++x) mismatches += GetPixel(dc, 157 + x, y) != GetPixel(pictureDc, x, y);
        }
        EXPECT_EQ(mismatches, 0);
        int titleInk = 0;
        for (int y = 12; y < 32; ++y) {
            for (int x = 16; x < 120; ++x) titleInk += GetPixel(dc, x, y) != RGB(255, 255, 255);
        }
        EXPECT_GT(titleInk, 100) << "no title text";
        ReleaseDC(w.main, dc);
        click(w.cancel());
    });
    SelectObject(pictureDc, old);
    DeleteDC(pictureDc);
    DeleteObject(picture);
}

// Asked for a new record, the window starts from the default one and hands it
// back whatever way it is closed; only OK gives a description.
TEST_F(OptionsWindow, NewRecordIsHandedBackAcceptedOrCancelled) {
    struct Case {
        const char* name;
        const char* typed;  // over the whole pattern; null: nothing
        bool accept;
        std::int32_t result;
        const char* description;  // null: the host's pointer stays
    };
    const Case cases[] = {
        {"accepted unchanged", nullptr, true, 1, "Pelmora ID3v2 (*artist* - *title*)"},
        {"cancelled after typing", "typed", false, 0, nullptr},
    };
    std::string defaultRecord(kDefaultPattern);
    defaultRecord.resize(sizeof PluginOptions{}.pattern);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record existing("untouched", 1);
        PluginOptions* options = existing.options;
        char marker[] = "before";
        char* description = marker;
        const std::int32_t result = showWhileDriving(1, &options, &description, [&](const OpenWindow& w) {
            EXPECT_EQ(textOf(w.edit()), kDefaultPattern);
            EXPECT_TRUE(checked(w.radio(0)));
            if (c.typed != nullptr) typeOver(w.edit(), c.typed);
            click(c.accept ? w.ok() : w.cancel());
        });
        EXPECT_EQ(result, c.result);
        ASSERT_NE(options, existing.options);
        EXPECT_EQ(std::string(options->pattern, sizeof options->pattern), defaultRecord);
        EXPECT_EQ(options->tagSource, 0);
        if (c.description == nullptr) {
            EXPECT_EQ(description, marker);
        } else {
            ASSERT_NE(description, nullptr);
            EXPECT_STREQ(description, c.description);
        }
        EXPECT_STREQ(existing.options->pattern, "untouched");
        plugin().freeOpt(options);
    }
}

// OK stores the pattern as far as the record holds it with its terminator,
// and the checked source; a record that came with neither source keeps its
// own unless one is clicked. The record's pattern is read within its 256 bytes.
TEST_F(OptionsWindow, OkStoresThePatternAndTheCheckedSource) {
    std::string longText;
    for (int i = 0; longText.size() < 260; ++i) longText += "*title*" + std::to_string(i);
    // The default pattern, its terminator, then bytes that must never show.
    std::string withTail(kDefaultPattern, sizeof kDefaultPattern);
    withTail.resize(sizeof PluginOptions{}.pattern, 'z');
    const std::string full(sizeof PluginOptions{}.pattern, 'q');  // no terminator at all
    struct Case {
        std::string record;
        std::int32_t tagSource;
        std::optional<std::string> typed;  // over the whole pattern
        int clickRadio;                    // -1: none
        std::string stored;                // as the box shows it before OK
        std::int32_t storedSource;
        const char* sourceName;            // in the description
    };
    const Case cases[] = {
        {"p", 0, std::nullopt, -1, "p", 0, "ID3v2"},
        {"p", 1, std::nullopt, -1, "p", 1, "ID3v1"},
        {withTail, 0, "abc", 1, "abc", 1, "ID3v1"},
        {withTail, 1, std::string(60, 'x'), 0, std::string(60, 'x'), 0, "ID3v2"},
        {withTail, -1, longText, 1, longText.substr(0, kPatternLimit), 1, "ID3v1"},  // the box takes no more than fits
        {full, 7, std::nullopt, -1, std::string(kPatternLimit, 'q'), 7, "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("pattern of " + std::to_string(c.stored.size()) + ", tag source " + std::to_string(c.tagSource) +
                     ", click " + std::to_string(c.clickRadio));
        Record record(c.record, c.tagSource);
        char* description = nullptr;
        const std::int32_t result = showWhileDriving(0, &record.options, &description, [&](const OpenWindow& w) {
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(checked(w.radio(i)), i == c.tagSource);
            }
            if (c.clickRadio >= 0) {
                click(w.radio(c.clickRadio));
                flush();
                EXPECT_TRUE(checked(w.radio(c.clickRadio)));
                EXPECT_FALSE(checked(w.radio(1 - c.clickRadio)));
            }
            if (c.typed) typeOver(w.edit(), *c.typed);
            EXPECT_EQ(textOf(w.edit()), c.stored);
            click(w.ok());
        });
        EXPECT_EQ(result, 1);
        const PluginOptions& stored = *record.options;
        EXPECT_EQ(std::string(stored.pattern, strnlen(stored.pattern, sizeof stored.pattern)), c.stored);
        EXPECT_EQ(stored.tagSource, c.storedSource);
        ASSERT_NE(description, nullptr);
        EXPECT_EQ(std::string(description), "Pelmora " + std::string(c.sourceName) + " (" + c.stored + ")");
    }
}

TEST_F(OptionsWindow, PlaceholderMenuInsertsAtTheCaretOrOverTheSelection) {
    struct Case {
        std::string text;
        int selStart;
        int selEnd;
        int row;
        std::string after;
    };
    const std::string nearlyFull(250, 'a');
    const Case cases[] = {
        {"ab", 1, 1, 5, "a*genre*b"},
        {"xabcx", 1, 4, 5, "x*genre*x"},
        {"", 0, 0, 0, "*artist*"},
        {"name", 4, 4, 11, "name*filename*"},
        {nearlyFull, 250, 250, 11, nearlyFull},  // would be cut: nothing goes in
        {nearlyFull, 0, 5, 11, "*filename*" + nearlyFull.substr(5)},
    };
    Record record(kDefaultPattern, 0);
    const std::int32_t result = showWhileDriving(0, &record.options, nullptr, [&](const OpenWindow& w) {
        bool menuChecked = false;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text + " row " + std::to_string(c.row));
            SendMessageA(w.edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.text.c_str()));
            SendMessageA(w.edit(), EM_SETSEL, c.selStart, c.selEnd);
            click(w.dots());
            HWND popup = nullptr;
            ASSERT_TRUE(waitFor([&] {
                popup = FindWindowA("#32768", nullptr);
                return popup != nullptr && IsWindowVisible(popup);
            })) << "no menu";
            if (!menuChecked) {
                menuChecked = true;
                RECT button{};
                RECT menuRect{};
                GetWindowRect(w.dots(), &button);
                GetWindowRect(popup, &menuRect);
                EXPECT_EQ(menuRect.left, button.left);
                EXPECT_EQ(menuRect.top, button.bottom);
                HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
                ASSERT_NE(menu, nullptr);
                ASSERT_EQ(GetMenuItemCount(menu), 12);
                for (int i = 0; i < 12; ++i) {
                    char text[128] = {};
                    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
                    EXPECT_EQ(GetMenuItemID(menu, i), kMenu[i].id);
                    EXPECT_STREQ(text, kMenu[i].text);
                }
            }
            for (int i = 0; i <= c.row; ++i) pressKey(popup, VK_DOWN);
            pressKey(popup, VK_RETURN);
            EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(popup); })) << "the menu stayed open";
            flush();
            EXPECT_EQ(textOf(w.edit()), c.after);
        }
        click(w.cancel());
    });
    EXPECT_EQ(result, 0);
}

// Enter and Escape are no way out at all.
TEST_F(OptionsWindow, EveryWayOutButOkLeavesRecordAndDescriptionAlone) {
    Record record("first", 0);
    PluginOptions*& options = record.options;
    char* description = nullptr;
    const std::int32_t first = showWhileDriving(0, &options, &description, [&](const OpenWindow& w) {
        type(w.edit(), "+");
        for (HWND target : {w.edit(), w.ok(), w.main}) {
            pressKey(target, VK_RETURN);
            pressKey(target, VK_ESCAPE);
            pressKey(target, VK_TAB);
            flush();
            EXPECT_TRUE(IsWindowVisible(w.main));
        }
        click(w.ok());
    });
    ASSERT_EQ(first, 1);
    ASSERT_NE(description, nullptr);
    char* const accepted = description;
    const std::string acceptedText = description;
    EXPECT_EQ(acceptedText, "Pelmora ID3v2 (+first)");  // the caret starts at the beginning

    PluginOptions before;
    std::memcpy(&before, options, sizeof before);
    for (const auto& [name, close] : std::span(kWaysOut).subspan(1)) {
        SCOPED_TRACE(name);
        PluginOptions* const original = options;
        const std::int32_t result = showWhileDriving(0, &options, &description, [&](const OpenWindow& w) {
            typeOver(w.edit(), "changed");
            click(w.radio(1));
            flush();
            close(w);
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(options, original);
        EXPECT_EQ(std::memcmp(options, &before, sizeof before), 0);
        EXPECT_EQ(description, accepted);
        EXPECT_EQ(std::string(description), acceptedText);
    }
}

// GetGuiResources is a stub under Wine; there the live GDI objects are found
// by asking every handle slot for its type.
int gdiObjectCount() {
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0) return static_cast<int>(counted);
    int count = 0;
    for (std::uintptr_t slot = 1; slot <= 0xFFFF; ++slot) {
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0;
    }
    return count;
}

TEST(GdiObjectCount, SeesAPenComeAndGo) {
    const int before = gdiObjectCount();
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    ASSERT_NE(pen, nullptr);
    EXPECT_EQ(gdiObjectCount(), before + 1);
    DeleteObject(pen);
    EXPECT_EQ(gdiObjectCount(), before);
}

TEST_F(OptionsWindow, TwentyShowingsLeaveNoGdiObjectBehind) {
    Record record(kDefaultPattern, 0);
    auto showing = [&](std::size_t i) {
        return showWhileDriving(0, &record.options, nullptr, [&](const OpenWindow& w) {
            InvalidateRect(w.main, nullptr, TRUE);  // paint once more, with everything
            flush();
            kWaysOut[i % std::size(kWaysOut)].second(w);
        });
    };
    showing(0);  // the first showing may fill caches of the system's own
    const int before = gdiObjectCount();
    for (std::size_t i = 0; i < 20; ++i) showing(i);
    EXPECT_EQ(gdiObjectCount(), before);
}

TEST(BlendColors, MovesEachChannelAndRoundsHalvesToEven) {
    struct Case {
        std::uint32_t from;
        std::uint32_t to;
        std::uint8_t percent;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {RGB(128, 128, 128), RGB(212, 208, 200), 70, RGB(187, 184, 178)},
        {RGB(0, 0, 0), RGB(5, 0, 0), 70, RGB(4, 0, 0)},      // 3.5
        {RGB(0, 0, 0), RGB(0, 15, 0), 70, RGB(0, 10, 0)},    // 10.5
        {RGB(0, 0, 0), RGB(0, 0, 25), 50, RGB(0, 0, 12)},    // 12.5
        {RGB(200, 10, 0), RGB(0, 250, 255), 0, RGB(200, 10, 0)},
        {RGB(200, 10, 0), RGB(0, 250, 255), 100, RGB(0, 250, 255)},
        {RGB(200, 10, 0), RGB(0, 250, 255), 200, RGB(0, 250, 255)},
        {RGB(200, 10, 0), RGB(0, 250, 255), 255, RGB(0, 250, 255)},
        {RGB(255, 0, 100), RGB(0, 255, 100), 33, RGB(171, 84, 100)},  // 170.85, 84.15
        {0xFF000000u | RGB(10, 20, 30), 0xAB000000u | RGB(10, 20, 30), 50, RGB(10, 20, 30)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pelmora::blendColors(c.from, c.to, c.percent), c.expected)
            << std::hex << c.from << " " << c.to << " " << std::dec << int(c.percent);
    }
}

class ButtonImages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Session::Get().plugin.module, nullptr);
        parent = CreateWindowExA(0, "static", "", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
        button = CreateWindowExA(0, "button", "OK", WS_CHILD | BS_PUSHBUTTON, 0, 0, 81, 27, parent, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(button, nullptr);
    }
    void TearDown() override {
        BUTTON_IMAGELIST list{};
        if (button != nullptr && SendMessageA(button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)) &&
            list.himl != nullptr) {
            ImageList_Destroy(list.himl);
        }
        if (parent != nullptr) DestroyWindow(parent);
    }
    HMODULE module() { return static_cast<HMODULE>(Session::Get().plugin.module); }
    HWND parent = nullptr;
    HWND button = nullptr;
};

TEST_F(ButtonImages, OnlyAnIconOrABitmapBecomesFiveImagesLeftAligned) {
    HANDLE icon = LoadImageA(module(), "BTNCANCEL", IMAGE_ICON, 16, 16, 0);
    HANDLE bitmap = LoadImageA(module(), "ACTION", IMAGE_BITMAP, 0, 0, 0);
    ASSERT_NE(icon, nullptr);
    ASSERT_NE(bitmap, nullptr);
    struct Case {
        std::uint32_t type;
        HANDLE image;
        bool taken;
    };
    // The unknown types first, while the button has never had an image.
    const Case cases[] = {{2, icon, false}, {3, icon, false}, {0xFFFFFFFFu, icon, false}, {1, icon, true},
                          {0, bitmap, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(pelmora::setButtonIcon(button, c.image, c.type, 16, 16) != 0, c.taken);
        BUTTON_IMAGELIST list{};
        SendMessageA(button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list));
        if (!c.taken) {
            EXPECT_EQ(list.himl, nullptr);
            EXPECT_EQ(SendMessageA(button, BM_GETIMAGE, IMAGE_ICON, 0), 0);
            continue;
        }
        ASSERT_NE(list.himl, nullptr);
        EXPECT_EQ(ImageList_GetImageCount(list.himl), 5);
        int width = 0;
        int height = 0;
        ImageList_GetIconSize(list.himl, &width, &height);
        EXPECT_EQ(width, 16);
        EXPECT_EQ(height, 16);
        EXPECT_EQ(list.margin.left, 10);
        EXPECT_EQ(list.margin.top + list.margin.right + list.margin.bottom, 0);
        EXPECT_EQ(list.uAlign, static_cast<UINT>(BUTTON_IMAGELIST_ALIGN_LEFT));
        ImageList_Destroy(list.himl);
    }
    DestroyIcon(static_cast<HICON>(icon));
    DeleteObject(bitmap);
}

// The pictures of the module at the sizes and depths a host expects.
TEST(ModuleResources, HoldEveryPictureAtItsSizeAndDepth) {
    HMODULE module = static_cast<HMODULE>(Session::Get().plugin.module);
    ASSERT_NE(module, nullptr);
    struct Bitmap {
        const char* name;
        int width;
        int height;
        int bits;
        DWORD colours;
    };
    for (const Bitmap& b : {Bitmap{"OPTBG", 100, 50, 8, 216}, Bitmap{"ACTION", 16, 16, 8, 216}}) {
        SCOPED_TRACE(b.name);
        HRSRC found = FindResourceA(module, b.name, MAKEINTRESOURCEA(2));  // RT_BITMAP
        ASSERT_NE(found, nullptr);
        ASSERT_GE(SizeofResource(module, found), sizeof(BITMAPINFOHEADER));
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biWidth, b.width);
        EXPECT_EQ(header->biHeight, b.height);
        EXPECT_EQ(header->biBitCount, b.bits);
        EXPECT_EQ(header->biClrUsed, b.colours);
        HBITMAP loaded = LoadBitmapA(module, b.name);
        EXPECT_NE(loaded, nullptr);
        DeleteObject(loaded);
    }
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bits;
        DWORD bytes;
        WORD id;
    };
    struct GroupHeader {
        WORD reserved, type, count;
    };
#pragma pack(pop)
    struct Icon {
        const char* name;
        int size;
    };
    for (const Icon& icon : {Icon{"BTNOK", 16}, Icon{"BTNCANCEL", 16}, Icon{"MAINICON", 32}}) {
        SCOPED_TRACE(icon.name);
        HRSRC found = FindResourceA(module, icon.name, MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
        ASSERT_NE(found, nullptr);
        const auto* header = static_cast<const GroupHeader*>(LockResource(LoadResource(module, found)));
        ASSERT_NE(header, nullptr);
        ASSERT_EQ(header->count, 1);
        const auto* entry = reinterpret_cast<const GroupEntry*>(header + 1);
        EXPECT_EQ(entry->width, icon.size);
        EXPECT_EQ(entry->height, icon.size);
        EXPECT_EQ(entry->bits, 32);
    }
}

// Runs last: it unloads the plug-in that the other tests share. A class left
// behind would point into freed code, and the plug-in loaded again could not
// register its own, so it would have no placeholder menu.
// A window that cannot be made (its class gone) must still give the host back.
TEST_F(OptionsWindow, ThatCannotOpenReenablesTheHostAndKeepsTheRecord) {
    ASSERT_TRUE(UnregisterClassA(kClassName, nullptr));
    Record existing("keep", 1);
    PluginOptions* options = existing.options;
    char* description = nullptr;
    EXPECT_EQ(plugin().showOptions(0, &options, &description), 0);
    EXPECT_EQ(options, existing.options);
    EXPECT_STREQ(existing.options->pattern, "keep");
    EXPECT_EQ(description, nullptr);
    EXPECT_TRUE(IsWindowEnabled(host()));
    plugin().initialize(host());  // the class again, for the tests after this one
    WNDCLASSA found{};
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), kClassName, &found));
}

TEST(PluginUnload, TakesTheWindowClassAlong) {
    Session& session = Session::Get();
    ASSERT_NE(session.plugin.module, nullptr);
    session.Initialize();
    // Registered with no instance, the class belongs to the program.
    const HINSTANCE program = GetModuleHandleA(nullptr);
    WNDCLASSA found{};
    ASSERT_TRUE(GetClassInfoA(program, kClassName, &found));
    CloseModule(session.plugin.module);
    session.plugin.module = nullptr;
    EXPECT_FALSE(GetClassInfoA(program, kClassName, &found));

    ASSERT_TRUE(session.plugin.Load(PluginPath()));
    session.plugin.initialize(session.host);
    ASSERT_TRUE(GetClassInfoA(program, kClassName, &found));
    HMODULE owner = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(found.lpfnWndProc), &owner);
    EXPECT_EQ(owner, static_cast<HMODULE>(session.plugin.module));
}

}  // namespace
