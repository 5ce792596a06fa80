// win32face.cpp - the bill-of-materials window on Windows: the platform's own dialogs.
//
// The dialogs are made from the templates of bomcore (DialogBoxIndirectParam over a template
// built in memory, so the system converts the dialog units), the list is a list view in report
// mode, the popup menu, the clipboard and the printer are the system's. What the window does is
// bomcore's (BomState and the layout); this file only draws it and turns events into it, and no
// failure of a handler reaches the system's dialog loop. Owns the current window, which
// DestroyPartList releases with its report.
#include "bomcore.h"
#include "window.h"

#include "platform/ui.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace window {

namespace {

inline constexpr WORD TEMPLATE_POINTS = 8; // the templates' font size
inline constexpr const wchar_t *TEMPLATE_FONT = L"MS Shell Dlg";
inline constexpr WORD CLASS_BUTTON = 0x0080; // predefined control classes of a template
inline constexpr WORD CLASS_EDIT = 0x0081;
inline constexpr WORD CLASS_STATIC = 0x0082;
inline constexpr std::size_t TEXT_SIZE = 1024; // an edit's text as the window reads it
inline constexpr WORD ICON_WINDOW = 128;       // the window's icon in the library's resources
inline constexpr const char *PRINT_FONT = "Courier New"; // the system's scalable Courier

// ---- Texts ----

// A report text (UTF-8, or Latin-1 when it is not UTF-8) as the system's wide text.
std::wstring widen(std::string_view bytes, bool latin1 = false) {
    const UINT page = latin1 ? 28591 : CP_UTF8;
    const int n =
        MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(page, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    return w;
}

std::wstring widen(const Cell &cell) {
    return widen(cell.bytes, !cell.utf8);
}

// ---- Planted failures ----

// The Windows test build defines PARTLIST_PLANT_BAD_ALLOC (a compile definition of that build
// alone; the shipped library has none of this): the first pass of each point runs out of memory,
// so that its host sees a dialog procedure report the failure and the window go on.
enum class Planted { fill, filterOk };

void planted([[maybe_unused]] Planted at) {
#ifdef PARTLIST_PLANT_BAD_ALLOC
    static bool passed[2];
    if (!std::exchange(passed[static_cast<int>(at)], true)) throw std::bad_alloc();
#endif
}

// ---- Templates in memory ----

// A dialog template as the system reads it: WORDs, DWORD-aligned items.
class TemplateBuilder {
  public:
    void word(WORD w) { data_.push_back(w); }
    void dword(DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const char *s) {
        const std::wstring w = widen(s ? s : "");
        data_.insert(data_.end(), w.begin(), w.end());
        word(0);
    }
    void wtext(const wchar_t *s) {
        for (; *s; ++s)
            word(static_cast<WORD>(*s));
        word(0);
    }
    void align() {
        if (data_.size() % 2) word(0);
    }
    const DLGTEMPLATE *get() const { return reinterpret_cast<const DLGTEMPLATE *>(data_.data()); }

  private:
    std::vector<WORD> data_;
};

struct ControlClass {
    DWORD style;
    WORD atom;           // a predefined class, or 0 for a named one
    const wchar_t *name; // the named class
};

ControlClass classOf(Control kind) {
    constexpr DWORD tab = WS_TABSTOP;
    switch (kind) {
    case Control::button:
        return {BS_PUSHBUTTON | tab, CLASS_BUTTON, nullptr};
    case Control::defbutton:
        return {BS_DEFPUSHBUTTON | tab, CLASS_BUTTON, nullptr};
    case Control::wrapbutton:
        return {BS_PUSHBUTTON | BS_MULTILINE | tab, CLASS_BUTTON, nullptr};
    case Control::check:
        return {BS_AUTOCHECKBOX | tab, CLASS_BUTTON, nullptr};
    case Control::edit:
        return {ES_AUTOHSCROLL | WS_BORDER | tab, CLASS_EDIT, nullptr};
    case Control::list:
        return {LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | tab, 0, WC_LISTVIEWW};
    case Control::label:
        return {SS_LEFT, CLASS_STATIC, nullptr};
    case Control::centredlabel:
        return {SS_CENTER, CLASS_STATIC, nullptr};
    case Control::group:
        return {BS_GROUPBOX, CLASS_BUTTON, nullptr};
    }
    return {0, CLASS_STATIC, nullptr};
}

// The template of a dialog: its caption, its size, the font the units are measured in, and
// each control at its place with its id.
TemplateBuilder build(const DialogTemplate &t) {
    TemplateBuilder b;
    b.dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    b.dword(0);
    b.word(static_cast<WORD>(t.rows.size()));
    b.word(0);
    b.word(0);
    b.word(static_cast<WORD>(t.w));
    b.word(static_cast<WORD>(t.h));
    b.word(0); // no menu
    b.word(0); // the dialog class
    b.text(t.caption);
    b.word(TEMPLATE_POINTS);
    b.wtext(TEMPLATE_FONT);
    for (const ControlRow &r : t.rows) {
        b.align();
        const ControlClass c = classOf(r.kind);
        b.dword(WS_CHILD | WS_VISIBLE | c.style);
        b.dword(0);
        b.word(static_cast<WORD>(r.x));
        b.word(static_cast<WORD>(r.y));
        b.word(static_cast<WORD>(r.w));
        b.word(static_cast<WORD>(r.h));
        b.word(static_cast<WORD>(r.id)); // NO_ID: 0xFFFF, as the templates write it
        if (c.atom != 0) {
            b.word(0xFFFF);
            b.word(c.atom);
        } else {
            b.wtext(c.name);
        }
        b.text(r.text);
        b.word(0); // no creation data
    }
    return b;
}

HINSTANCE moduleOf() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&moduleOf), &m);
    return m;
}

// ---- Messages ----

// The caption of the window's message boxes: the host program's name, as the framework gives it.
// Takes no memory, as a failure's message is shown with it.
void appName(char (&name)[MAX_PATH]) noexcept {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    lstrcpynA(name, base, MAX_PATH);
    if (char *dot = std::strrchr(name, '.')) *dot = '\0';
}

void message(HWND owner, const char *text, bool exclamation) noexcept {
    char caption[MAX_PATH];
    appName(caption);
    MessageBoxA(owner, text ? text : "", caption, MB_OK | (exclamation ? MB_ICONEXCLAMATION : 0));
}

// Runs one message of a dialog procedure. Nothing thrown may unwind into the system's dialog
// loop, which would end the host: the failure is said as the window's messages are, and the
// window goes on.
template <class F> INT_PTR guarded(HWND dialog, F &&handle) noexcept {
    try {
        return handle();
    } catch (const std::bad_alloc &) {
        message(dialog, "Out of memory: the command could not be completed.", true);
    } catch (...) {
        message(dialog, "The command could not be completed.", true);
    }
    return TRUE;
}

// The run's own dialogs while the window runs.
int nativeopen(void *owner, const char *caption, int, int, int mustexist, char *name, int size) {
    if (!name || size <= 0) return 0;
    name[0] = '\0';
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(owner);
    ofn.lpstrFilter = "Schematic files (*.sch)\0*.sch\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = name;
    ofn.nMaxFile = static_cast<DWORD>(size);
    ofn.lpstrTitle = caption;
    ofn.Flags = OFN_HIDEREADONLY | (mustexist ? OFN_FILEMUSTEXIST : 0);
    return GetOpenFileNameA(&ofn) ? 1 : 0;
}

int nativebox(void *owner, const char *caption, int, const char *text, int, int, int) {
    return MessageBoxA(static_cast<HWND>(owner), text ? text : "", caption ? caption : "", MB_OK);
}

constexpr platform::UiBackend nativeUi{nativeopen, nativebox};

// ---- The profile of the host ----

std::string profileString(const char *section, const char *key) {
    char value[TEXT_SIZE] = "";
    GetProfileStringA(section, key, "", value, sizeof value);
    return value;
}

bool writeProfileString(const char *section, const char *key, const char *value) {
    return WriteProfileStringA(section, key, value) != FALSE;
}

std::string itemText(HWND dialog, int id) {
    char text[TEXT_SIZE] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// ---- Handles released however a handler ends ----

struct GlobalFreer {
    void operator()(void *mem) const { GlobalFree(mem); }
};
using GlobalMemory = std::unique_ptr<void, GlobalFreer>;

// n bytes at data in movable global memory, as the clipboard takes them.
GlobalMemory globalCopy(const void *data, std::size_t n) {
    GlobalMemory mem(GlobalAlloc(GMEM_MOVEABLE, n));
    void *at = mem ? GlobalLock(mem.get()) : nullptr;
    if (at == nullptr) throw std::bad_alloc();
    std::memcpy(at, data, n);
    GlobalUnlock(mem.get());
    return mem;
}

// What the print dialog hands out: the printer's context and the settings' memory.
class PrintDialogHandles {
  public:
    explicit PrintDialogHandles(PRINTDLGA &pd) : pd_(pd) {}
    ~PrintDialogHandles() {
        if (pd_.hDC) DeleteDC(pd_.hDC);
        if (pd_.hDevMode) GlobalFree(pd_.hDevMode);
        if (pd_.hDevNames) GlobalFree(pd_.hDevNames);
    }
    PrintDialogHandles(const PrintDialogHandles &) = delete;
    PrintDialogHandles &operator=(const PrintDialogHandles &) = delete;

  private:
    PRINTDLGA &pd_;
};

// A document on a printer, abandoned unless it was ended.
class PrintDocument {
  public:
    explicit PrintDocument(HDC dc) : dc_(dc) {
        DOCINFOA doc{};
        doc.cbSize = sizeof doc;
        doc.lpszDocName = PRINT_DOCUMENT;
        open_ = StartDocA(dc, &doc) > 0;
    }
    ~PrintDocument() {
        if (open_) AbortDoc(dc_);
    }
    PrintDocument(const PrintDocument &) = delete;
    PrintDocument &operator=(const PrintDocument &) = delete;
    bool open() const { return open_; }
    bool end() { return std::exchange(open_, false) && EndDoc(dc_) > 0; }

  private:
    HDC dc_;
    bool open_;
};

// A font selected into a context for as long as it lives, then deleted.
class SelectedFont {
  public:
    SelectedFont(HDC dc, HFONT font)
        : dc_(dc), font_(font), old_(font ? SelectObject(dc, font) : nullptr) {}
    ~SelectedFont() {
        if (old_) SelectObject(dc_, old_);
        if (font_) DeleteObject(font_);
    }
    SelectedFont(const SelectedFont &) = delete;
    SelectedFont &operator=(const SelectedFont &) = delete;

  private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
};

// ---- Printing ----

// A printer's device context as the print layout draws on it.
class DcSurface : public PrintSurface {
  public:
    explicit DcSurface(HDC dc) : dc_(dc) {}
    void newPage() override {
        if (EndPage(dc_) <= 0 || StartPage(dc_) <= 0) failed_ = true;
    }
    void draw(double x, double y, const Cell &text) override {
        const std::wstring w = widen(text);
        TextOutW(dc_, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), w.c_str(),
                 static_cast<int>(w.size()));
    }
    bool failed() const { return failed_; }

  private:
    HDC dc_;
    bool failed_ = false; // the printer refused a page
};

// Prints the report on a printer's context in the print layout, as many pages as it takes.
// False when the printer refused the document or a page, or the report could not be read.
bool printOn(HDC dc, const std::string &reportPath) {
    const double scale = printScale(GetDeviceCaps(dc, LOGPIXELSY));
    const SelectedFont font(dc, CreateFontA(-static_cast<int>(printFontHeight(scale)), 0, 0, 0,
                                            FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                            DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, PRINT_FONT));
    PrintDocument doc(dc);
    if (!doc.open()) return false;
    SIZE zero{};
    GetTextExtentPoint32A(dc, "0", 1, &zero);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    const PrintMetrics m{scale, static_cast<double>(zero.cx), static_cast<double>(tm.tmHeight),
                         static_cast<double>(GetDeviceCaps(dc, VERTRES))};
    DcSurface surface(dc);
    if (StartPage(dc) <= 0) return false;
    const bool read = printPages(reportPath, m, surface);
    const bool ended = EndPage(dc) > 0;
    return doc.end() && ended && read && !surface.failed();
}

// The default printer's settings turned to the page's orientation, so that the print dialog
// opens with it; without a default printer the dialog opens as the system has it.
void presetOrientation(PRINTDLGA &pd) {
    pd.Flags = PD_RETURNDEFAULT;
    if (!PrintDlgA(&pd) || pd.hDevMode == nullptr) return;
    if (auto *mode = static_cast<DEVMODEA *>(GlobalLock(pd.hDevMode))) {
        mode->dmOrientation = PRINT_LANDSCAPE ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        mode->dmFields |= DM_ORIENTATION;
        GlobalUnlock(pd.hDevMode);
    }
}

// ---- The window ----

struct Bom {
    explicit Bom(BomState s) : state(std::move(s)) {}

    BomState state; // what the window holds and does
    HWND dialog = nullptr;
    HWND list = nullptr; // control 1002

    void start();
    void run();
    void fillList();
    void command(int id);
    void componentFilter();
    void copy();
    void print();
    void popup(POINT at);
    POINT keyboardPoint() const;
    void close(bool save);
};

struct EntryState {
    std::unique_ptr<Bom> current; // the window of the last CreatePartList, until released
    bool running = false;         // a window is in its modal loop
};

EntryState &entry() {
    static EntryState s;
    return s;
}

// Clears the running mark however the modal loop ends.
class RunningMark {
  public:
    RunningMark() { entry().running = true; }
    ~RunningMark() { entry().running = false; }
    RunningMark(const RunningMark &) = delete;
    RunningMark &operator=(const RunningMark &) = delete;
};

// Shows the busy cursor while a job runs.
class BusyCursor {
  public:
    BusyCursor() : old_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~BusyCursor() { SetCursor(old_); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

  private:
    HCURSOR old_;
};

std::string currentDir() {
    char dir[MAX_PATH] = "";
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, dir);
    return n > 0 && n < MAX_PATH ? std::string(dir, n) : std::string();
}

void Bom::start() {
    SetDlgItemTextA(dialog, EDIT_PROJECT, state.projectName().c_str());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::wstring heading = widen(columns[i].heading);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.cx = columns[i].width;
        c.pszText = heading.data();
        c.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
    }
    state.start(profileString);
    SendDlgItemMessageA(dialog, EDIT_PROJECT, EM_SETREADONLY, TRUE, 0);
    run();
}

void Bom::run() {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    if (const char *text = state.beginRun(itemText(dialog, EDIT_PROJECT))) {
        message(dialog, text, false);
        return;
    }
    // A project named by its directory makes that the current one; a file name leaves it.
    SetCurrentDirectoryA(state.projectName().c_str());
    {
        const BusyCursor busy;
        state.runJob();
    }
    fillList();
}

void Bom::fillList() {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    planted(Planted::fill);
    state.readReport();
    int at = 0;
    for (const Row &r : state.rows()) {
        for (std::size_t col = 0; col < r.size(); ++col) {
            std::wstring text = widen(r[col]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = at;
            item.iSubItem = static_cast<int>(col);
            item.pszText = text.data();
            SendMessageW(list, col == 0 ? LVM_INSERTITEMW : LVM_SETITEMW, 0,
                         reinterpret_cast<LPARAM>(&item));
        }
        ++at;
    }
}

void Bom::command(int id) {
    switch (actionOf(id)) {
    case Action::close:
        close(true);
        break;
    case Action::cancel:
        close(false);
        break;
    case Action::filter:
        componentFilter();
        break;
    case Action::copy:
        copy();
        break;
    case Action::print:
        print();
        break;
    case Action::none:
        break;
    }
}

void Bom::close(bool save) {
    if (!state.close(save, writeProfileString))
        message(dialog, "The settings could not be written to the profile", true);
    EndDialog(dialog, save ? IDOK : IDCANCEL);
}

// ---- The component filter ----

struct Filter {
    const FilterRules &rules;
    std::string letters; // in effect when it opens; built on OK
    std::string length;
};

INT_PTR filterMessage(HWND dialog, Filter *f, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_INITDIALOG: {
        f = reinterpret_cast<Filter *>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        for (const Category &c : f->rules.categories)
            CheckDlgButton(dialog, c.id,
                           f->letters.find(c.letter) != std::string::npos ? BST_CHECKED
                                                                          : BST_UNCHECKED);
        f->length = initialLength(f->rules, f->length);
        SetDlgItemTextA(dialog, f->rules.lengthEdit, f->length.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (f == nullptr) break;
        if (LOWORD(wparam) == IDOK) {
            planted(Planted::filterOk);
            std::array<bool, 3> ticked{};
            for (std::size_t i = 0; i < ticked.size(); ++i)
                ticked[i] = IsDlgButtonChecked(dialog, f->rules.categories[i].id) == BST_CHECKED;
            const FilterResult r =
                confirmFilter(f->rules, ticked, itemText(dialog, f->rules.lengthEdit));
            f->letters = r.letters;
            f->length = r.length;
            if (r.ok) {
                EndDialog(dialog, IDOK);
            } else {
                message(dialog, r.message, false);
                if (r.clearEdit) SetDlgItemTextA(dialog, f->rules.lengthEdit, "");
            }
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK filterProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    auto *f = reinterpret_cast<Filter *>(GetWindowLongPtrW(dialog, DWLP_USER));
    return guarded(dialog, [&] { return filterMessage(dialog, f, msg, wparam, lparam); });
}

void Bom::componentFilter() {
    Filter f{state.filter(), state.letters(), state.propLength()};
    const auto tmpl = build(f.rules.tmpl);
    if (DialogBoxIndirectParamW(moduleOf(), tmpl.get(), dialog, filterProc,
                                reinterpret_cast<LPARAM>(&f)) != IDOK)
        return;
    state.filtered(f.letters, f.length);
    run();
}

// ---- Copy, print, the popup menu ----

void Bom::copy() {
    std::string bytes;
    std::u16string unicode;
    if (!state.clipboard(bytes, unicode)) return;
    GlobalMemory text = globalCopy(bytes.c_str(), bytes.size() + 1);
    GlobalMemory wide = globalCopy(unicode.c_str(), (unicode.size() + 1) * sizeof(char16_t));
    if (!OpenClipboard(dialog)) return;
    EmptyClipboard();
    // The characters the list shows first, for the programs that take the first text they know;
    // the report's own bytes beside them.
    if (SetClipboardData(CF_UNICODETEXT, wide.get()) != nullptr) wide.release();
    if (SetClipboardData(CF_TEXT, text.get()) != nullptr) text.release();
    CloseClipboard();
}

void Bom::print() {
    if (!state.mayPrint()) return;
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = dialog;
    const PrintDialogHandles handles(pd);
    presetOrientation(pd);
    pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
    pd.nFromPage = pd.nToPage = pd.nMinPage = pd.nMaxPage = 1;
    if (!PrintDlgA(&pd) || pd.hDC == nullptr) return;
    if (!printOn(pd.hDC, state.reportPath())) message(dialog, PRINT_FAILED, true);
}

// Where the popup opens from the keyboard, which gives no point: over the focused row, as a
// click there would open it; at the list's corner when no row has the focus.
POINT Bom::keyboardPoint() const {
    RECT client{};
    GetClientRect(list, &client);
    POINT at{client.left, client.top};
    const auto row = static_cast<int>(
        SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    RECT item{};
    item.left = LVIR_LABEL;
    if (row >= 0 && SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                                 reinterpret_cast<LPARAM>(&item))) {
        at.x = std::clamp((item.left + item.right) / 2, client.left, client.right);
        at.y = std::clamp((item.top + item.bottom) / 2, client.top, client.bottom);
    }
    ClientToScreen(list, &at);
    return at;
}

void Bom::popup(POINT at) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    for (const MenuItem &item : popupItems)
        AppendMenuA(menu, MF_STRING | (state.mayCopy() ? 0 : MF_GRAYED),
                    static_cast<UINT_PTR>(item.id), item.text);
    const int chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
    DestroyMenu(menu);
    if (chosen != 0) command(chosen);
}

INT_PTR bomMessage(HWND dialog, Bom *bom, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
    case WM_INITDIALOG:
        bom = reinterpret_cast<Bom *>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        bom->dialog = dialog;
        bom->list = GetDlgItem(dialog, LIST_BOM);
        // The system draws it in the caption and when the window is minimised.
        if (HICON icon = LoadIconW(moduleOf(), MAKEINTRESOURCEW(ICON_WINDOW))) {
            SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        }
        SendMessageW(bom->list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                     LVS_EX_FULLROWSELECT);
        // Shown first, then filled, as the window's start runs once it is on the screen.
        PostMessageW(dialog, WM_APP, 0, 0);
        return TRUE;
    case WM_APP:
        if (bom == nullptr) break;
        // The dialog loop would show the window only once its queue is empty, after the start
        // and whatever message boxes the start's run shows.
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
        bom->start();
        return TRUE;
    case WM_COMMAND:
        if (bom == nullptr) break;
        bom->command(LOWORD(wparam));
        return TRUE;
    case WM_CONTEXTMENU:
        if (bom != nullptr && reinterpret_cast<HWND>(wparam) == bom->list) {
            // From the keyboard (the menu key, Shift+F10) the point is (-1, -1).
            bom->popup(lparam == -1 ? bom->keyboardPoint()
                                    : POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
            return TRUE;
        }
        break;
    case WM_CLOSE:
        if (bom == nullptr) break;
        bom->close(false);
        return TRUE;
    default:
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK bomProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) noexcept {
    auto *bom = reinterpret_cast<Bom *>(GetWindowLongPtrW(dialog, DWLP_USER));
    return guarded(dialog, [&] { return bomMessage(dialog, bom, msg, wparam, lparam); });
}

// The window's owner: the host thread's main window (its first visible top-level window).
BOOL CALLBACK firstVisible(HWND w, LPARAM found) {
    if (IsWindowVisible(w) && GetWindow(w, GW_OWNER) == nullptr) {
        *reinterpret_cast<HWND *>(found) = w;
        return FALSE;
    }
    return TRUE;
}

HWND hostMainWindow() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), firstVisible, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Installs the native dialogs for the run while the window runs.
class NativeUiScope {
  public:
    NativeUiScope() : old_(platform::SetUiBackend(&nativeUi)) {}
    ~NativeUiScope() { platform::SetUiBackend(old_); }
    NativeUiScope(const NativeUiScope &) = delete;
    NativeUiScope &operator=(const NativeUiScope &) = delete;

  private:
    const platform::UiBackend *old_;
};

} // namespace

int CreatePartList(const char *projectFile, const char *flavourCode, const char *searchPath) {
    EntryState &s = entry();
    if (s.running) {
        std::fputs("partlist: a bill-of-materials window is already open\n", stderr);
        return 0;
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    const HWND owner = hostMainWindow();
    auto bom = std::make_unique<Bom>(
        BomState(projectFile ? projectFile : "", flavourCode, searchPath, '\\', currentDir()));
    for (const char *text : bom->state.open(profileString))
        message(owner, text, true);

    s.current = std::move(bom);
    INT_PTR shown = -1;
    {
        const RunningMark mark;
        const NativeUiScope ui;
        const auto tmpl = build(bomTemplate);
        shown = DialogBoxIndirectParamW(moduleOf(), tmpl.get(), owner, bomProc,
                                        reinterpret_cast<LPARAM>(s.current.get()));
    }
    if (shown == -1) {
        std::fprintf(stderr, "partlist: cannot open the bill-of-materials window (error %lu)\n",
                     GetLastError());
        return 0;
    }
    return 1;
}

void DestroyPartList() {
    EntryState &s = entry();
    if (s.running || !s.current) return;
    // Only a report of a run of this window: without one the path may name another's file.
    if (s.current->state.ownsReport()) DeleteFileA(s.current->state.reportPath().c_str());
    s.current.reset();
}

} // namespace window
