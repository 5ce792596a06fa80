// win32face.cpp - the bill-of-materials window on Windows: the platform's own dialogs.
//
// The dialogs are made from the templates of bomcore (DialogBoxIndirectParam over a template
// built in memory, so the system converts the dialog units), the list is a list view in report
// mode, the popup menu, the clipboard and the printer are the system's. What the window does is
// bomcore's; this file only draws it and turns events into it. Owns the current window's state,
// which DestroyPartList releases with its report.
#include "bomcore.h"
#include "window.h"

#include "partlist.h"
#include "platform/ui.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
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
std::string appName() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

void message(HWND owner, const char *text, bool exclamation) {
    MessageBoxA(owner, text ? text : "", appName().c_str(),
                MB_OK | (exclamation ? MB_ICONEXCLAMATION : 0));
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

std::string itemText(HWND dialog, int id) {
    char text[TEXT_SIZE] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// ---- The window ----

struct Bom {
    std::string reportPath;
    std::string projectName;
    std::string searchPath;
    std::string letters;
    std::string savedLetters;
    std::string propLength;
    std::string savedPropLength;
    std::string descDir;
    int flavour = 0;
    bool ranJob = false;
    HWND dialog = nullptr;
    HWND list = nullptr;

    void start();
    void run();
    void fillList();
    void command(int id);
    void componentFilter();
    void copy();
    void print();
    void popup(POINT at);
    void close(bool save);
};

struct EntryState {
    std::unique_ptr<Bom> current; // the window of the last CreatePartList, until released
    bool running = false;
};

EntryState &entry() {
    static EntryState s;
    return s;
}

std::string currentDir() {
    char dir[MAX_PATH] = "";
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, dir);
    return n > 0 && n < MAX_PATH ? std::string(dir, n) : std::string();
}

void Bom::start() {
    SetDlgItemTextA(dialog, EDIT_PROJECT, projectName.c_str());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::wstring heading = widen(columns[i].heading);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.cx = columns[i].width;
        c.pszText = heading.data();
        c.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
    }
    const FlavourSettings &f = flavours[static_cast<std::size_t>(flavour)];
    savedLetters = profileString(SETTINGS, f.key);
    if (savedLetters.empty()) savedLetters = f.defLetters;
    partlist::initializeMap((descDir + "\\" + f.mapFile).c_str());
    savedPropLength = profileString(SETTINGS, LENGTH_KEY);
    if (savedPropLength.empty()) savedPropLength = DEFAULT_LENGTH;
    if (letters.empty()) {
        letters = savedLetters;
        if (propLength.empty()) {
            partlist::SetPropertyLength(savedPropLength.c_str());
            propLength = savedPropLength;
        }
    }
    SendDlgItemMessageA(dialog, EDIT_PROJECT, EM_SETREADONLY, TRUE, 0);
    run();
}

void Bom::run() {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const std::string shown = itemText(dialog, EDIT_PROJECT);
    if (shown != projectName) projectName = shown;
    if (projectName.empty()) {
        message(dialog, "Please, enter the sch name.", false);
        return;
    }
    // A project named by its directory makes that the current one; a file name leaves it.
    SetCurrentDirectoryA(projectName.c_str());
    std::string lettersNow = letters;
    partlist::SetPropertyLength((propLength.empty() ? savedPropLength : propLength).c_str());
    std::string args[] = {"partlist", "-p", searchPath, "-f",
                          lettersNow, "-o", reportPath, projectName};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    ranJob = true;
    // The job reports in its log and its report; the list shows whatever the report holds.
    partlist::main(static_cast<int>(std::size(args)), argv.data());
    SetCursor(old);
    fillList();
}

void Bom::fillList() {
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    std::vector<Row> rows;
    readRows(reportPath, rows);
    int at = 0;
    for (const Row &r : rows) {
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
    partlist::clearMap();
    if (save) {
        const bool saved =
            WriteProfileStringA(SETTINGS, flavours[static_cast<std::size_t>(flavour)].key,
                                letters.c_str()) &&
            WriteProfileStringA(SETTINGS, LENGTH_KEY, propLength.c_str());
        if (!saved) message(dialog, "The settings could not be written to the profile", true);
    }
    EndDialog(dialog, save ? IDOK : IDCANCEL);
}

// ---- The component filter ----

struct Filter {
    const FilterRules &rules;
    std::string letters; // in effect when it opens; built on OK
    std::string length;
};

INT_PTR CALLBACK filterProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto *f = reinterpret_cast<Filter *>(GetWindowLongPtrW(dialog, DWLP_USER));
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
        if (LOWORD(wparam) == IDOK) {
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

void Bom::componentFilter() {
    Filter f{filterOf(flavour), letters, propLength};
    const auto tmpl = build(f.rules.tmpl);
    if (DialogBoxIndirectParamW(moduleOf(), tmpl.get(), dialog, filterProc,
                                reinterpret_cast<LPARAM>(&f)) != IDOK)
        return;
    letters = f.letters;
    propLength = f.length;
    run();
}

// ---- Copy, print, the popup menu ----

void Bom::copy() {
    std::string text;
    if (!clipboardText(reportPath, text)) return;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (mem == nullptr) return;
    std::memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    if (!OpenClipboard(dialog)) {
        GlobalFree(mem);
        return;
    }
    EmptyClipboard();
    if (SetClipboardData(CF_TEXT, mem) == nullptr) GlobalFree(mem);
    CloseClipboard();
}

void Bom::print() {
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = dialog;
    pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
    if (!PrintDlgA(&pd) || pd.hDC == nullptr) return;
    HDC dc = pd.hDC;
    const double scale = GetDeviceCaps(dc, LOGPIXELSY) / LAYOUT_DPI;
    HFONT font =
        CreateFontA(-static_cast<int>(FONT_HEIGHT * scale + 0.5), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                    FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    FIXED_PITCH | FF_MODERN, "Courier New");
    DOCINFOA doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = "Bill Of Materials";
    if (StartDocA(dc, &doc) > 0) {
        HGDIOBJ old = SelectObject(dc, font);
        SIZE zero{};
        GetTextExtentPoint32A(dc, "0", 1, &zero);
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        const double bottom = GetDeviceCaps(dc, VERTRES);
        double y = FIRST_Y * scale;
        bool drawn = false;
        StartPage(dc);
        eachReportLine(reportPath, [&](std::string_view line) {
            if (drawn && y + tm.tmHeight > bottom) {
                EndPage(dc);
                StartPage(dc);
                y = FIRST_Y * scale;
            }
            for (const PrintColumn &c : printColumns(line, scale, zero.cx)) {
                const std::wstring text = widen(c.text);
                TextOutW(dc, static_cast<int>(c.x), static_cast<int>(y), text.c_str(),
                         static_cast<int>(text.size()));
            }
            drawn = true;
            y += LINE_STEP * scale;
        });
        EndPage(dc);
        EndDoc(dc);
        SelectObject(dc, old);
    }
    DeleteObject(font);
    DeleteDC(dc);
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
}

void Bom::popup(POINT at) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    const bool empty = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0;
    for (const MenuItem &item : popupItems)
        AppendMenuA(menu, MF_STRING | (empty ? MF_GRAYED : 0), static_cast<UINT_PTR>(item.id),
                    item.text);
    const int chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
    DestroyMenu(menu);
    if (chosen != 0) command(chosen);
}

INT_PTR CALLBACK bomProc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto *bom = reinterpret_cast<Bom *>(GetWindowLongPtrW(dialog, DWLP_USER));
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
        bom->start();
        return TRUE;
    case WM_COMMAND:
        bom->command(LOWORD(wparam));
        return TRUE;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wparam) == bom->list) {
            POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            bom->popup(at);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        bom->close(false);
        return TRUE;
    default:
        break;
    }
    return FALSE;
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
    auto bom = std::make_unique<Bom>();
    bom->projectName = projectFile ? projectFile : "";
    bom->searchPath = searchPath ? searchPath : "";
    bom->flavour = flavourOf(flavourCode);
    const HWND owner = hostMainWindow();
    if (bom->projectName.empty()) message(owner, "Project not found", true);
    bom->reportPath = reportPathFor(bom->projectName, currentDir(), '\\');
    bom->descDir = profileString("VANTRELL", "BillOfMaterialsPath");
    if (bom->descDir.empty())
        message(owner, "BillOfMaterialsPath not found in the ini file!", true);

    s.current = std::move(bom);
    s.running = true;
    INT_PTR shown = -1;
    {
        NativeUiScope ui;
        const auto tmpl = build(bomTemplate);
        shown = DialogBoxIndirectParamW(moduleOf(), tmpl.get(), owner, bomProc,
                                        reinterpret_cast<LPARAM>(s.current.get()));
    }
    s.running = false;
    if (shown == -1) {
        std::fprintf(stderr, "partlist: cannot open the bill-of-materials window (error %lu)\n",
                     GetLastError());
        return 0;
    }
    return 1;
}

void DestroyPartList() {
    EntryState &s = entry();
    if (!s.current) return;
    // Only a report of a run of this window: without one the path may name another's file.
    if (s.current->ranJob) DeleteFileA(s.current->reportPath.c_str());
    s.current.reset();
}

} // namespace window
