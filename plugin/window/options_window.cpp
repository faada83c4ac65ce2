// The options window of the Windows build: its window class, the placeholder
// popup menu, the modal run behind showOptions, and the drawing helpers
// (blendColors, setButtonIcon, drawBitmapRightAligned). Built by hand from the
// standard controls; every GDI object a showing creates dies with its window.
// Compiled with -fexec-charset=CP1251: the Russian texts below are Windows-1251.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "PelmoraConstants.h"
#include "PluginRecords.h"
#include "options_window.h"

static_assert(sizeof("Отмена") == 7, "options_window.cpp must be compiled with -fexec-charset=CP1251");

namespace pelmora {

namespace {

// Built once by prepareOptionsWindow, destroyed when the plug-in is unloaded.
HMENU placeholderMenu = nullptr;

constexpr char kClassName[] = "TPelmoraWindow";
constexpr char kCaption[] = "Опции преобразования ";
constexpr char kFontFace[] = "Tahoma";
constexpr char kVersionPrefix[] = "Версия ";

// "Версия 1.0.02", made when compiling so that painting allocates nothing.
constexpr std::size_t kVersionLineLength = sizeof kVersionPrefix - 1 + kVersionText.size();
constexpr std::array<char, kVersionLineLength> kVersionLine = [] {
    std::array<char, kVersionLineLength> line{};
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < sizeof kVersionPrefix; ++i) line[at++] = kVersionPrefix[i];
    for (const char c : kVersionText) line[at++] = c;
    return line;
}();

// Font heights are negative: the size of the glyphs, not of the cell.
constexpr int kUiFontHeight = -11;
constexpr int kTitleFontHeight = -19;
constexpr int kSmallFontHeight = -8;
constexpr int kNormalWeight = 400;

// The outer size of the window, centred on the screen.
constexpr int kWindowWidth = 263;
constexpr int kWindowHeight = 257;
constexpr int kHalfWidth = kWindowWidth / 2;
constexpr int kHalfHeight = kWindowHeight / 2;

// The white header with the title and the picture, and the line above the
// buttons; each line is a light shadow with a window-coloured one below it.
constexpr int kClientLeft = 0;
constexpr int kHeaderTop = 0;
constexpr int kHeaderHeight = 50;
constexpr int kFooterLineY = 190;
constexpr int kLineThickness = 1;
constexpr int kTitleX = 16;
constexpr int kTitleY = 12;
constexpr int kVersionX = 134;
constexpr int kVersionY = 34;
constexpr COLORREF kTitleColour = RGB(128, 128, 128);
constexpr std::uint8_t kShadowBlendPercent = 70;
constexpr int kBitmapRightMargin = 6;

// Where a control sits in the client area, in pixels.
struct ControlBox {
    int x;
    int y;
    int width;
    int height;
};

// The pattern row: label above, edit box with the placeholder button to its right.
constexpr int kLeftMargin = 8;
constexpr int kPatternRowY = 78;
constexpr ControlBox kPatternLabelBox{kLeftMargin, 62, 209, 13};
constexpr ControlBox kPatternEditBox{kLeftMargin, kPatternRowY, 209, 21};
constexpr ControlBox kPlaceholderButtonBox{221, kPatternRowY, 25, 22};

// The tag source group, one radio per source, one below the other.
constexpr ControlBox kTagGroupBoxBox{kLeftMargin, 110, 238, 57};
constexpr ControlBox kFirstTagRadioBox{15, 125, 200, 17};
constexpr int kTagRadioPitch = 18;
constexpr int kTagRadioCount = static_cast<int>(kTagSourceNames.size());

// OK and Cancel below the footer line, the same size.
constexpr int kFooterButtonY = 195;
constexpr int kFooterButtonWidth = 81;
constexpr int kFooterButtonHeight = 27;
constexpr int kOkButtonX = 79;
constexpr int kCancelButtonX = 166;

// Command ids. The radios take kFirstRadioId + their source; the label, the
// edit box and the group box are never addressed by id.
constexpr int kNoId = 0;
constexpr int kOkId = IDOK;
constexpr int kCancelId = IDCANCEL;
constexpr int kFirstRadioId = 3;
constexpr int kPlaceholderButtonId = 5;
static_assert(kFirstRadioId + kTagRadioCount <= kPlaceholderButtonId, "the radios' ids run into the button's");
static_assert(kPlaceholderButtonId < static_cast<int>(kFirstPlaceholderMenuId), "the button's id is a menu item's");

// showOptions' answer, and WM_COMMAND's for OK and Cancel.
constexpr std::int32_t kAccepted = 1;
constexpr std::int32_t kNotAccepted = 0;

constexpr int kButtonIconSize = 16;
constexpr int kButtonIconMargin = 10;
constexpr int kInitialImages = 4;
constexpr int kImageGrowth = 0;      // past kInitialImages the list grows by its own step
constexpr int kAppendImage = -1;     // ImageList_ReplaceIcon's index for "add at the end"
constexpr int kNormalImage = 0;      // the copy the disabled one is faded from
constexpr unsigned kIconImage = 1;   // 0 is a bitmap

// The edit box holds at most this many characters, so a pattern always fits
// the record with its terminator.
constexpr int kPatternLimit = sizeof(PluginOptions::pattern) - 1;

// The menu shows each placeholder with what it stands for, in the order of kPlaceholders.
constexpr std::array<const char*, kPlaceholders.size()> placeholderCaptions = {
    "Исполнитель", "Название", "Альбом", "Год", "Комментарий", "Жанр",
    "Номер трека", "Битрейт", "Частота", "Режим", "Длительность", "Имя файла",
};

constexpr std::array<char, sizeof(PluginOptions::pattern)> makeDefaultPattern() {
    std::array<char, sizeof(PluginOptions::pattern)> pattern{};
    for (std::size_t i = 0; i < kDefaultPattern.size(); ++i) pattern[i] = kDefaultPattern[i];
    return pattern;
}

constexpr std::array<char, sizeof(PluginOptions::pattern)> defaultPattern = makeDefaultPattern();

// Everything of the one options window. Handles of a closed window stay
// behind until the next showing overwrites them; GDI objects are zeroed when
// they are freed.
struct OptionsWindowState {
    HWND mainWindow;
    HWND hostWindow;
    HWND okButton;
    HWND cancelButton;
    HWND placeholderButton;
    HWND tagRadios[kTagRadioCount];
    HWND patternEdit;
    HWND tagGroupBox;
    HWND patternLabel;
    HFONT uiFont;
    HFONT titleFont;
    HFONT smallFont;
    HBITMAP headerBitmap;
    HPEN lightShadowPen;
    HPEN windowPen;
    HMENU placeholderMenu;
    MSG message;
    PluginOptions editedOptions;
    HIMAGELIST okImages;  // what the OK and Cancel buttons draw from
    HIMAGELIST cancelImages;
};

OptionsWindowState optionsWindowState{};
std::int32_t optionsAccepted = kNotAccepted;

// The description last handed to the host; valid until the next accepted showing.
std::string& descriptionText() {
    static std::string text;
    return text;
}

HINSTANCE moduleInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&moduleInstance), &module);
    return module;
}

// Width, angles, precisions, quality and pitch all left to the font mapper.
HFONT createTahoma(int height) {
    constexpr int kMapperChooses = 0;
    return CreateFontA(height, kMapperChooses, kMapperChooses, kMapperChooses, kNormalWeight, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

template <class Handle>
void deleteObject(Handle& object) {
    if (object != nullptr) DeleteObject(object);
    object = nullptr;
}

// Frees what a showing created. Safe to call more than once; it runs when the
// window is gone, so no control still draws with these.
void releaseShowingObjects() {
    OptionsWindowState& s = optionsWindowState;
    deleteObject(s.uiFont);
    deleteObject(s.titleFont);
    deleteObject(s.smallFont);
    deleteObject(s.headerBitmap);
    deleteObject(s.lightShadowPen);
    deleteObject(s.windowPen);
    for (HIMAGELIST* list : {&s.okImages, &s.cancelImages}) {
        if (*list != nullptr) ImageList_Destroy(*list);
        *list = nullptr;
    }
}

void setFont(HWND window, HFONT font) { SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE); }

constexpr DWORD kNoExStyle = 0;

HWND createControl(const char* className, const char* text, DWORD style, DWORD exStyle, const ControlBox& box,
                   int id) {
    return CreateWindowExA(exStyle, className, text, style, box.x, box.y, box.width, box.height,
                           optionsWindowState.mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           moduleInstance(), nullptr);
}

// A push button with an icon of this module; `images` receives the image
// list it draws from (none when the button fell back to a single image).
HWND createIconButton(const char* text, int x, int id, const char* iconName, HIMAGELIST& images) {
    constexpr DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    const ControlBox box{x, kFooterButtonY, kFooterButtonWidth, kFooterButtonHeight};
    HWND button = createControl("button", text, style, kNoExStyle, box, id);
    setButtonIcon(button, LoadIconA(moduleInstance(), iconName), kIconImage, kButtonIconSize, kButtonIconSize);
    BUTTON_IMAGELIST list{};
    if (SendMessageA(button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list)) != FALSE) images = list.himl;
    setFont(button, optionsWindowState.uiFont);
    return button;
}

void createControls() {
    OptionsWindowState& s = optionsWindowState;
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;

    s.tagGroupBox =
        createControl("button", "Версия тега", child | BS_GROUPBOX | BS_LEFT, kNoExStyle, kTagGroupBoxBox, kNoId);
    setFont(s.tagGroupBox, s.uiFont);
    for (int i = 0; i < kTagRadioCount; ++i) {
        ControlBox box = kFirstTagRadioBox;
        box.y += kTagRadioPitch * i;
        // The names are literals, so each view ends at a NUL.
        s.tagRadios[i] = createControl("button", kTagSourceNames[static_cast<std::size_t>(i)].data(),
                                       child | WS_TABSTOP | BS_AUTORADIOBUTTON | BS_LEFT, kNoExStyle, box,
                                       kFirstRadioId + i);
        setFont(s.tagRadios[i], s.uiFont);
    }
    s.okButton = createIconButton("OK", kOkButtonX, kOkId, "BTNOK", s.okImages);
    s.cancelButton = createIconButton("Отмена", kCancelButtonX, kCancelId, "BTNCANCEL", s.cancelImages);
    s.placeholderButton = createControl("button", "..", child | WS_TABSTOP | BS_PUSHBUTTON, kNoExStyle,
                                        kPlaceholderButtonBox, kPlaceholderButtonId);
    setFont(s.placeholderButton, s.uiFont);
    s.patternLabel = createControl("static", "Маска:", child | SS_LEFT, kNoExStyle, kPatternLabelBox, kNoId);
    setFont(s.patternLabel, s.uiFont);
    s.patternEdit = createControl("edit", kDefaultPattern.data(), child | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
                                  WS_EX_CLIENTEDGE, kPatternEditBox, kNoId);
    setFont(s.patternEdit, s.uiFont);
    SendMessageA(s.patternEdit, EM_LIMITTEXT, kPatternLimit, 0);
}

// --- window procedure, one function per message ------------------------------

LRESULT onCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    OptionsWindowState& s = optionsWindowState;
    s.lightShadowPen = CreatePen(PS_SOLID, kLineThickness,
                                 blendColors(GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNFACE),
                                             kShadowBlendPercent));
    s.windowPen = CreatePen(PS_SOLID, kLineThickness, GetSysColor(COLOR_WINDOW));
    s.headerBitmap = LoadBitmapA(moduleInstance(), "OPTBG");
    s.titleFont = createTahoma(kTitleFontHeight);
    s.smallFont = createTahoma(kSmallFontHeight);
    return DefWindowProcA(window, message, wParam, lParam);
}

void drawSeparator(HDC dc, int y) {
    MoveToEx(dc, kClientLeft, y, nullptr);
    LineTo(dc, kWindowWidth, y);
}

// No focus frame is drawn: the header is a picture, never a focus target.
LRESULT onPaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    OptionsWindowState& s = optionsWindowState;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc != nullptr) {
        PatBlt(dc, kClientLeft, kHeaderTop, kWindowWidth, kHeaderHeight, WHITENESS);
        HGDIOBJ oldPen = SelectObject(dc, s.lightShadowPen);
        drawSeparator(dc, kHeaderHeight);
        drawSeparator(dc, kFooterLineY);
        SelectObject(dc, s.windowPen);
        drawSeparator(dc, kHeaderHeight + kLineThickness);
        drawSeparator(dc, kFooterLineY + kLineThickness);
        SelectObject(dc, oldPen);

        drawBitmapRightAligned(dc, kWindowWidth, kHeaderTop, s.headerBitmap);

        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldFont = SelectObject(dc, s.titleFont);
        SetTextColor(dc, kTitleColour);
        TextOutA(dc, kTitleX, kTitleY, kTitleText.data(), static_cast<int>(kTitleText.size()));
        SelectObject(dc, s.smallFont);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        TextOutA(dc, kVersionX, kVersionY, kVersionLine.data(), static_cast<int>(kVersionLine.size()));
        SelectObject(dc, oldFont);
        EndPaint(window, &paint);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT onDestroy() {
    constexpr int kQuitCode = 0;  // the modal loop only needs to end; nobody reads the code
    PostQuitMessage(kQuitCode);
    return 0;
}

// The children are gone by now, so nothing draws with the objects any more.
LRESULT onNcDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    releaseShowingObjects();
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT onOk() {
    OptionsWindowState& s = optionsWindowState;
    optionsAccepted = kAccepted;
    // A record that came with neither source keeps it unless one was checked.
    for (int i = 0; i < kTagRadioCount; ++i) {
        if (SendMessageA(s.tagRadios[i], BM_GETCHECK, 0, 0) == BST_CHECKED) s.editedOptions.tagSource = i;
    }
    GetWindowTextA(s.patternEdit, s.editedOptions.pattern, sizeof s.editedOptions.pattern);
    DestroyWindow(s.mainWindow);
    return kAccepted;
}

LRESULT onCancel() {
    DestroyWindow(optionsWindowState.mainWindow);
    optionsAccepted = kNotAccepted;
    return kNotAccepted;
}

void showPlaceholderMenu() {
    OptionsWindowState& s = optionsWindowState;
    RECT button;
    if (!GetWindowRect(s.placeholderButton, &button)) return;
    // Opens below the button, left-aligned with it.
    constexpr UINT kDefaultAlignment = TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON;
    constexpr int kReserved = 0;
    TrackPopupMenu(s.placeholderMenu, kDefaultAlignment, button.left, button.bottom, kReserved, s.mainWindow, nullptr);
}

// Puts the placeholder in place of the selection. A placeholder that the
// length limit would cut goes in not at all rather than half.
void insertPlaceholder(std::string_view placeholder) {
    HWND edit = optionsWindowState.patternEdit;
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::int64_t selected = end >= start ? std::int64_t{end} - start : 0;
    const std::int64_t length = GetWindowTextLengthA(edit);
    const std::int64_t limit = static_cast<std::int64_t>(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
    if (length - selected + static_cast<std::int64_t>(placeholder.size()) > limit) return;
    // A literal: the view ends at a NUL.
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(placeholder.data()));
}

LRESULT onCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    if (id == kOkId) return onOk();
    if (id == kCancelId) return onCancel();
    if (id == kPlaceholderButtonId) {
        showPlaceholderMenu();
    } else if (id >= static_cast<int>(kFirstPlaceholderMenuId) &&
               id < static_cast<int>(kFirstPlaceholderMenuId + kPlaceholders.size())) {
        insertPlaceholder(kPlaceholders[static_cast<std::size_t>(id) - kFirstPlaceholderMenuId]);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK optionsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return onCreate(window, message, wParam, lParam);
        case WM_PAINT: return onPaint(window, message, wParam, lParam);
        case WM_DESTROY: return onDestroy();
        case WM_NCDESTROY: return onNcDestroy(window, message, wParam, lParam);
        case WM_COMMAND: return onCommand(window, message, wParam, lParam);
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool createOptionsWindow() {
    OptionsWindowState& s = optionsWindowState;
    int screenWidth = 0;
    int screenHeight = 0;
    if (HDC screen = GetDC(nullptr)) {
        screenWidth = GetDeviceCaps(screen, HORZRES);
        screenHeight = GetDeviceCaps(screen, VERTRES);
        ReleaseDC(nullptr, screen);  // only the screen's size was wanted
    }
    s.uiFont = createTahoma(kUiFontHeight);
    s.mainWindow = CreateWindowExA(WS_EX_CONTROLPARENT, kClassName, kCaption, WS_CAPTION | WS_SYSMENU,
                                   screenWidth / 2 - kHalfWidth, screenHeight / 2 - kHalfHeight, kWindowWidth,
                                   kWindowHeight, s.hostWindow, nullptr, nullptr, nullptr);
    if (s.mainWindow == nullptr) {
        releaseShowingObjects();
        return false;
    }
    setFont(s.mainWindow, s.uiFont);
    createControls();
    return true;
}

// A pattern of the record as the edit box can hold it: the record may fill
// all 256 bytes without a terminator.
std::string editablePattern(const PluginOptions& options) {
    return std::string(options.pattern, strnlen(options.pattern, kPatternLimit));
}

void runModalLoop() {
    OptionsWindowState& s = optionsWindowState;
    constexpr UINT kAnyMessage = 0;  // as both ends of the range: no filter
    // 0 is the quit, -1 a failure; either ends the loop.
    while (GetMessageA(&s.message, nullptr, kAnyMessage, kAnyMessage) > 0) {
        TranslateMessage(&s.message);
        DispatchMessageA(&s.message);
    }
    // Someone else's quit ended the loop: close the window and hand the quit on.
    if (IsWindow(s.mainWindow)) {
        DestroyWindow(s.mainWindow);
        if (s.message.message == WM_QUIT) PostQuitMessage(static_cast<int>(s.message.wParam));
    }
}

std::string_view tagSourceName(std::int32_t tagSource) {
    return tagSource >= 0 && tagSource < static_cast<std::int32_t>(kTagSourceNames.size())
               ? kTagSourceNames[static_cast<std::size_t>(tagSource)]
               : std::string_view("?");
}

bool registerOptionsClass() {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = optionsWindowProc;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass) != 0;
}

HMENU buildPlaceholderMenu() {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return nullptr;
    for (std::size_t position = 0; position < kPlaceholders.size(); ++position) {
        const std::string text = std::string(kPlaceholders[position]) + " - " + placeholderCaptions[position];
        InsertMenuA(menu, static_cast<UINT>(position), MF_BYPOSITION | MF_STRING,
                    kFirstPlaceholderMenuId + position, text.c_str());
    }
    optionsWindowState.placeholderMenu = menu;
    return menu;
}

}  // namespace

std::uint32_t blendColors(std::uint32_t from, std::uint32_t to, std::uint8_t percent) {
    constexpr std::uint32_t kWhole = 100;
    constexpr int kChannelBits = 8;
    constexpr std::uint32_t kChannelMask = 0xFF;
    const std::int64_t p = percent < kWhole ? percent : kWhole;
    std::uint32_t result = 0;
    constexpr int kChannels = 3;  // red, green, blue; the top byte stays 0
    for (int channel = 0; channel < kChannels; ++channel) {
        const int shift = channel * kChannelBits;
        const std::int64_t a = (from >> shift) & kChannelMask;
        const std::int64_t b = (to >> shift) & kChannelMask;
        // nearbyint rounds an exact half to the even neighbour.
        const double value = std::nearbyint(static_cast<double>(a) + static_cast<double>((b - a) * p) / kWhole);
        result |= (static_cast<std::uint32_t>(value) & kChannelMask) << shift;
    }
    return result;
}

std::intptr_t setButtonIcon(void* button, void* image, std::uint32_t imageType, int width, int height) {
    if (imageType > kIconImage) return 0;
    HWND target = static_cast<HWND>(button);
    HIMAGELIST list = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, kInitialImages, kImageGrowth);
    if (list == nullptr) return 0;
    auto append = [&] {
        if (imageType == kIconImage) {
            ImageList_ReplaceIcon(list, kAppendImage, static_cast<HICON>(image));
        } else {
            ImageList_Add(list, static_cast<HBITMAP>(image), nullptr);
        }
    };
    append();  // normal
    append();  // hot
    append();  // pressed
    if (HICON faded = ImageList_GetIcon(list, kNormalImage, ILD_TRANSPARENT | ILD_BLEND50)) {
        ImageList_ReplaceIcon(list, kAppendImage, faded);  // disabled
        DestroyIcon(faded);
    }
    append();  // default button

    BUTTON_IMAGELIST images{};
    images.himl = list;
    images.margin.left = kButtonIconMargin;
    images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    const LRESULT answer = SendMessageA(target, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
    if (answer != FALSE) return answer;
    ImageList_Destroy(list);
    return SendMessageA(target, BM_SETIMAGE, imageType, reinterpret_cast<LPARAM>(image));
}

void drawBitmapRightAligned(void* dc, int rightX, int y, void* bitmap) {
    HDC target = static_cast<HDC>(dc);
    HDC memory = CreateCompatibleDC(target);
    if (memory == nullptr) return;
    HGDIOBJ previous = SelectObject(memory, static_cast<HBITMAP>(bitmap));
    if (previous != nullptr && previous != HGDI_ERROR) {
        SetMapMode(memory, GetMapMode(target));
        BITMAP info{};
        GetObjectA(static_cast<HBITMAP>(bitmap), sizeof info, &info);
        POINT size = {info.bmWidth, info.bmHeight};
        constexpr int kOnePoint = 1;
        DPtoLP(target, &size, kOnePoint);
        POINT origin = {0, 0};
        DPtoLP(memory, &origin, kOnePoint);
        BitBlt(target, rightX - info.bmWidth - kBitmapRightMargin, y, size.x, size.y, memory, origin.x, origin.y,
               SRCCOPY);
        SelectObject(memory, previous);
    }
    DeleteDC(memory);
}

// The class and the menu live as long as the plug-in is loaded. Left behind
// when a host unloads it, the class would point into freed code and a plug-in
// loaded again could not register its own.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {  // FreeLibrary, not process exit
        UnregisterClassA(kClassName, nullptr);
        if (placeholderMenu != nullptr) DestroyMenu(placeholderMenu);
        placeholderMenu = nullptr;
    }
    return TRUE;
}

void prepareOptionsWindow() {
    if (registerOptionsClass()) placeholderMenu = buildPlaceholderMenu();
}

std::int32_t runOptionsWindow(void* hostWindow, TOptionsAllocator allocate, bool newRecord, PluginOptions** options,
                              char** description) {
    OptionsWindowState& s = optionsWindowState;
    if (options == nullptr) return kNotAccepted;
    PluginOptions* record = *options;
    if (newRecord) {
        record = allocate();
        if (record == nullptr) return kNotAccepted;
        std::memcpy(record->pattern, defaultPattern.data(), defaultPattern.size());
        record->tagSource = static_cast<std::int32_t>(TTagSource::ID3v2);
    }
    if (record == nullptr) return kNotAccepted;

    // One window at a time: a second call while one is open changes nothing.
    if (IsWindow(s.mainWindow)) {
        *options = record;
        return kNotAccepted;
    }
    optionsAccepted = kNotAccepted;

    std::memcpy(&s.editedOptions, record, sizeof s.editedOptions);
    s.hostWindow = static_cast<HWND>(hostWindow);
    s.placeholderMenu = placeholderMenu;
    EnableWindow(s.hostWindow, FALSE);
    if (!createOptionsWindow()) {
        EnableWindow(s.hostWindow, TRUE);
        *options = record;
        return kNotAccepted;
    }

    const std::int32_t source = s.editedOptions.tagSource;
    if (source >= 0 && source < static_cast<std::int32_t>(kTagSourceNames.size())) {
        SendMessageA(s.tagRadios[source], BM_CLICK, 0, 0);
    }
    SetWindowTextA(s.patternEdit, editablePattern(s.editedOptions).c_str());
    ShowWindow(s.mainWindow, SW_SHOWNORMAL);
    UpdateWindow(s.mainWindow);
    SetFocus(s.patternEdit);

    runModalLoop();
    releaseShowingObjects();

    EnableWindow(s.hostWindow, TRUE);
    SetForegroundWindow(s.hostWindow);
    if (optionsAccepted == kAccepted) {
        std::string& text = descriptionText();
        text = std::string(kProductName) + " " + std::string(tagSourceName(s.editedOptions.tagSource)) + " (" +
               std::string(s.editedOptions.pattern, strnlen(s.editedOptions.pattern, sizeof s.editedOptions.pattern)) +
               ")";
        if (description != nullptr) *description = text.data();
        std::memcpy(record, &s.editedOptions, sizeof *record);
    }
    *options = record;
    return optionsAccepted;
}

}  // namespace pelmora
