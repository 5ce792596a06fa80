/* windowhost.c - a host of partlist.dll that opens the bill-of-materials window and drives it as
 * a user would, from a second thread that finds the dialogs and their controls by their ids.
 *
 *   windowhost DLL PLANTED PROJECT TEXTMAPS OUTDIR
 *
 * Three windows in one process, each through _CreatePartList@12 (PROJECT, "csi", ".") and
 * _DestroyPartList@0, with the files the check reads written to OUTDIR:
 *
 * - the example (DLL, the maps beside PROJECT): the list's rows (rows1.txt: one line a row, the
 *   five cells in UTF-8 joined by tabs); the popup menu from the keyboard at the focused fourth
 *   row (popup.txt: where it opened, where the row is); Print, and OK in the print dialog (the
 *   report printed: report-printed.out); the component filter with all three boxes and length
 *   45, and the rows again (rows2.txt); a copy of the report (report.out) and a picture of the
 *   window (window.bmp); Copy, and the clipboard in both formats (clipboard.txt, the plain text
 *   as it stands; clipboard-unicode.txt, the wide text in UTF-8); Close.
 * - descriptions in UTF-8 and in Latin-1 (DLL, the maps in TEXTMAPS): rows-text.txt,
 *   report-text.out, clipboard-text.txt, clipboard-text-unicode.txt; Cancel.
 * - planted failures (PLANTED, a build of the library that runs out of memory once in the
 *   window's first filling and once in the filter's first OK): each failure is said in a
 *   message box (failures.txt, their texts) and the window goes on; Copy on the empty list leaves
 *   the clipboard as it was and Print opens no dialog; the filter's second OK fills the list
 *   (rows-planted.txt); Close.
 *
 * Exit status 0 when every step was done, every window returned 1 and no report is left, else 1
 * (a line on standard error says which step failed).
 */
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int(__stdcall *CreateFn)(const char *, const char *, const char *);
typedef void(__stdcall *DestroyFn)(void);

enum { WAIT_MS = 20000, STEP_MS = 50, CELL = 1024 };

static const char *outdir;
static char reportPath[MAX_PATH];
static char hostName[MAX_PATH]; /* the caption of the window's message boxes */
static int failed;

static void fail(const char *what) {
    fprintf(stderr, "windowhost: %s\n", what);
    failed = 1;
}

static HWND waitWindowOf(const char *cls, const char *caption, int ms) {
    for (int waited = 0; waited < ms; waited += STEP_MS) {
        HWND w = FindWindowA(cls, caption);
        if (w != NULL && IsWindowVisible(w)) return w;
        Sleep(STEP_MS);
    }
    return NULL;
}

static HWND waitWindow(const char *caption) {
    return waitWindowOf(NULL, caption, WAIT_MS);
}

static void waitGone(HWND w) {
    for (int waited = 0; waited < WAIT_MS && IsWindow(w); waited += STEP_MS)
        Sleep(STEP_MS);
}

static FILE *outFile(const char *name, const char *mode) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", outdir, name);
    return fopen(path, mode);
}

static void writeUtf8(FILE *f, const wchar_t *text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char *utf8 = n > 0 ? malloc((size_t)n) : NULL;
    if (utf8 != NULL && WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, n, NULL, NULL) > 0)
        fputs(utf8, f);
    free(utf8);
}

static int rowCount(HWND dialog) {
    return (int)SendMessageA(GetDlgItem(dialog, 1002), LVM_GETITEMCOUNT, 0, 0);
}

/* The list's rows, as the window shows them. */
static void writeRows(HWND dialog, const char *name) {
    HWND list = GetDlgItem(dialog, 1002);
    FILE *f = outFile(name, "wb");
    if (list == NULL || f == NULL) {
        fail("cannot read the list");
        if (f) fclose(f);
        return;
    }
    const int rows = rowCount(dialog);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 5; ++c) {
            wchar_t text[CELL] = L"";
            LVITEMW item;
            memset(&item, 0, sizeof item);
            item.iSubItem = c;
            item.pszText = text;
            item.cchTextMax = CELL;
            SendMessageW(list, LVM_GETITEMTEXTW, (WPARAM)r, (LPARAM)&item);
            if (c) fputs("\t", f);
            writeUtf8(f, text);
        }
        fputs("\n", f);
    }
    fclose(f);
}

/* A picture of the window, as a 24-bit bitmap file. */
static void writePicture(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    const DWORD size = stride * (DWORD)height;
    BITMAPFILEHEADER fh;
    memset(&fh, 0, sizeof fh);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + size;
    FILE *f = outFile("window.bmp", "wb");
    if (f != NULL) {
        fwrite(&fh, sizeof fh, 1, f);
        fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
        fwrite(bits, size, 1, f);
        fclose(f);
    } else {
        fail("cannot write the picture");
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
}

/* The clipboard manager may hold the clipboard for a moment. */
static int openClipboard(void) {
    for (int waited = 0; waited < WAIT_MS; waited += STEP_MS) {
        if (OpenClipboard(NULL)) return 1;
        Sleep(STEP_MS);
    }
    fail("cannot open the clipboard");
    return 0;
}

/* The clipboard's plain text as it stands in plain, its wide text in UTF-8 in wide. */
static void writeClipboard(const char *plain, const char *wide) {
    if (!openClipboard()) return;
    HANDLE h = GetClipboardData(CF_TEXT);
    const char *text = h ? (const char *)GlobalLock(h) : NULL;
    FILE *f = outFile(plain, "wb");
    if (text != NULL && f != NULL) fwrite(text, 1, strlen(text), f);
    if (text == NULL) fail("no plain text on the clipboard");
    if (f) fclose(f);
    if (text) GlobalUnlock(h);
    h = GetClipboardData(CF_UNICODETEXT);
    const wchar_t *w = h ? (const wchar_t *)GlobalLock(h) : NULL;
    f = outFile(wide, "wb");
    if (w != NULL && f != NULL) writeUtf8(f, w);
    if (w == NULL) fail("no wide text on the clipboard");
    if (f) fclose(f);
    if (w) GlobalUnlock(h);
    CloseClipboard();
}

static void setClipboard(const char *text) {
    if (!openClipboard()) return;
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(mem), text, strlen(text) + 1);
    GlobalUnlock(mem);
    SetClipboardData(CF_TEXT, mem);
    CloseClipboard();
}

static int clipboardIs(const char *expected) {
    int same = 0;
    if (!openClipboard()) return 0;
    HANDLE h = GetClipboardData(CF_TEXT);
    const char *text = h ? (const char *)GlobalLock(h) : NULL;
    same = text != NULL && strcmp(text, expected) == 0;
    if (text) GlobalUnlock(h);
    CloseClipboard();
    return same;
}

static void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

/* Presses the window's button id once no message box of the window is left open, so that a
 * failed step cannot keep the window from closing (bom null: the window, shown or not). */
static void finish(HWND bom, int id) {
    HWND box;
    while ((box = FindWindowA("#32770", hostName)) != NULL) {
        fail("a message box was left open");
        press(box, IDOK);
        waitGone(box);
    }
    if (bom == NULL) bom = FindWindowA(NULL, "Bill Of Materials");
    if (bom != NULL) press(bom, id);
}

static void copyReport(const char *name) {
    char copy[MAX_PATH];
    snprintf(copy, sizeof copy, "%s\\%s", outdir, name);
    if (!CopyFileA(reportPath, copy, FALSE)) fail("no report beside the project");
}

static BOOL CALLBACK longestText(HWND child, LPARAM found) {
    char text[CELL] = "";
    GetWindowTextA(child, text, sizeof text);
    char *best = (char *)found;
    if (strlen(text) > strlen(best)) strcpy(best, text);
    return TRUE;
}

/* Waits for the window's message box, writes its text to failures, and presses its OK. */
static void answerBox(FILE *failures, const char *what) {
    HWND box = waitWindowOf("#32770", hostName, 5000);
    if (box == NULL) {
        fail(what);
        return;
    }
    char text[CELL] = "";
    EnumChildWindows(box, longestText, (LPARAM)text);
    fprintf(failures, "%s\n", text);
    press(box, IDOK);
    waitGone(box);
}

/* The popup menu opened from the keyboard on the list, whose fourth row has the focus: where it
 * opens and where the row's label is, in screen coordinates. The menu key and Shift+F10 reach
 * the list as WM_CONTEXTMENU at (-1, -1), which the list hands to its dialog. */
static void keyboardPopup(HWND bom) {
    HWND list = GetDlgItem(bom, 1002);
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, 3, (LPARAM)&item);
    RECT row;
    row.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, 3, (LPARAM)&row);
    POINT centre = {(row.left + row.right) / 2, (row.top + row.bottom) / 2};
    ClientToScreen(list, &centre);
    PostMessageW(list, WM_CONTEXTMENU, (WPARAM)list, (LPARAM)-1);
    HWND menu = waitWindowOf("#32768", NULL, 5000);
    FILE *f = outFile("popup.txt", "wb");
    if (menu == NULL) {
        fail("the keyboard opened no popup menu");
    } else {
        RECT at;
        GetWindowRect(menu, &at);
        if (f) fprintf(f, "popup %ld %ld row %ld %ld\n", at.left, at.top, centre.x, centre.y);
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 1);
        waitGone(menu);
        if (IsWindowVisible(menu)) fail("the popup menu did not close");
    }
    if (f) fclose(f);
}

static DWORD WINAPI driveExample(LPVOID unused) {
    (void)unused;
    HWND bom = waitWindow("Bill Of Materials");
    if (bom == NULL) {
        fail("the window did not open");
        finish(NULL, 2);
        return 0;
    }
    Sleep(500); /* the first run fills the list once the window is shown */
    if (SendMessageA(bom, WM_GETICON, ICON_BIG, 0) == 0) fail("the window has no icon");
    writeRows(bom, "rows1.txt");
    keyboardPopup(bom);

    copyReport("report-printed.out");
    press(bom, 1020);
    HWND print = waitWindow("Print");
    if (print == NULL) {
        fail("the print dialog did not open");
    } else {
        press(print, IDOK);
        waitGone(print);
        Sleep(1000); /* the page goes to the spooler */
    }

    press(bom, 1004);
    HWND filter = waitWindow("Component Filter for Dravonite");
    if (filter == NULL) {
        fail("the filter did not open");
    } else {
        SendDlgItemMessageA(filter, 1006, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(filter, 1007, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(filter, 1008, BM_SETCHECK, BST_CHECKED, 0);
        SetDlgItemTextA(filter, 1015, "45");
        press(filter, IDOK);
        waitGone(filter);
        if (IsWindow(filter)) fail("the filter did not close");
    }
    Sleep(500);
    writeRows(bom, "rows2.txt");
    copyReport("report.out");
    writePicture(bom);

    press(bom, 1019);
    Sleep(300);
    writeClipboard("clipboard.txt", "clipboard-unicode.txt");
    finish(bom, 1);
    return 0;
}

static DWORD WINAPI driveText(LPVOID unused) {
    (void)unused;
    HWND bom = waitWindow("Bill Of Materials");
    if (bom == NULL) {
        fail("the window did not open");
        finish(NULL, 2);
        return 0;
    }
    Sleep(500);
    writeRows(bom, "rows-text.txt");
    copyReport("report-text.out");
    press(bom, 1019);
    Sleep(300);
    writeClipboard("clipboard-text.txt", "clipboard-text-unicode.txt");
    finish(bom, 2);
    return 0;
}

static DWORD WINAPI drivePlanted(LPVOID unused) {
    (void)unused;
    FILE *failures = outFile("failures.txt", "wb");
    if (failures == NULL) {
        fail("cannot write failures.txt");
        return 0;
    }
    setClipboard("the user's own text");
    HWND bom = waitWindow("Bill Of Materials");
    if (bom == NULL) {
        fail("the window did not open");
        fclose(failures);
        finish(NULL, 2);
        return 0;
    }
    answerBox(failures, "no message for the failure in the window's first filling");
    if (rowCount(bom) != 0) fail("the list is not empty after the failed filling");
    press(bom, 1019);
    Sleep(300);
    if (!clipboardIs("the user's own text")) fail("Copy on an empty list changed the clipboard");
    press(bom, 1020);
    if (waitWindowOf(NULL, "Print", 1500) != NULL) fail("Print opened its dialog on an empty list");

    press(bom, 1004);
    HWND filter = waitWindow("Component Filter for Dravonite");
    if (filter == NULL) {
        fail("the filter did not open");
    } else {
        press(filter, IDOK);
        answerBox(failures, "no message for the failure in the filter's OK");
        if (!IsWindowVisible(filter)) fail("the filter did not stay open after its failure");
        press(filter, IDOK);
        waitGone(filter);
        if (IsWindow(filter)) fail("the filter did not close");
    }
    Sleep(500);
    writeRows(bom, "rows-planted.txt");
    fclose(failures);
    finish(bom, 1);
    return 0;
}

/* One window of dll on the project, driven by drive; the maps are read from maps. */
static void session(HMODULE dll, const char *project, const char *maps,
                    LPTHREAD_START_ROUTINE drive, const char *what) {
    printf("window: %s\n", what);
    WriteProfileStringA("VANTRELL", "BillOfMaterialsPath", maps);
    CreateFn create = (CreateFn)GetProcAddress(dll, "_CreatePartList@12");
    DestroyFn destroy = (DestroyFn)GetProcAddress(dll, "_DestroyPartList@0");
    if (create == NULL || destroy == NULL) {
        fprintf(stderr, "windowhost: the window's entry points are missing\n");
        exit(2);
    }
    HANDLE driver = CreateThread(NULL, 0, drive, NULL, 0, NULL);
    const int shown = create(project, "csi", ".");
    WaitForSingleObject(driver, WAIT_MS);
    CloseHandle(driver);
    destroy();
    if (shown != 1) {
        fprintf(stderr, "windowhost: %s: ", what);
        fail("_CreatePartList@12 did not return 1");
    }
    if (GetFileAttributesA(reportPath) != INVALID_FILE_ATTRIBUTES)
        fail("the report is still there after _DestroyPartList@0");
}

static HMODULE load(const char *path) {
    HMODULE dll = LoadLibraryA(path);
    if (dll == NULL) {
        fprintf(stderr, "windowhost: cannot load %s\n", path);
        exit(2);
    }
    return dll;
}

int main(int argc, char **argv) {
    setvbuf(stdout, NULL, _IONBF, 0);
    setvbuf(stderr, NULL, _IONBF, 0);
    if (argc != 6) {
        fprintf(stderr, "usage: windowhost DLL PLANTED PROJECT TEXTMAPS OUTDIR\n");
        return 2;
    }
    const char *project = argv[3];
    outdir = argv[5];
    char module[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, MAX_PATH);
    const char *base = strrchr(module, '\\');
    snprintf(hostName, sizeof hostName, "%s", base ? base + 1 : module);
    if (strrchr(hostName, '.')) *strrchr(hostName, '.') = '\0';
    const char *sep = strrchr(project, '\\');
    snprintf(reportPath, sizeof reportPath, "%.*s\\temp.out", sep ? (int)(sep - project) : 0,
             project);
    /* The description maps and the symbol files (search path ".") stand beside the project. */
    char dir[MAX_PATH];
    snprintf(dir, sizeof dir, "%.*s", sep ? (int)(sep - project) : 0, project);
    SetCurrentDirectoryA(dir);

    HMODULE dll = load(argv[1]);
    session(dll, project, dir, driveExample, "the example");
    char letters[16] = "", length[16] = "";
    GetProfileStringA("BillOfMaterials", "DravoniteSettings", "", letters, sizeof letters);
    GetProfileStringA("BillOfMaterials", "Length", "", length, sizeof length);
    printf("settings: DravoniteSettings=%s Length=%s\n", letters, length);
    if (strcmp(letters, "dic") != 0 || strcmp(length, "45") != 0)
        fail("the settings were not saved");
    session(dll, project, argv[4], driveText, "UTF-8 and Latin-1 descriptions");
    FreeLibrary(dll);

    dll = load(argv[2]);
    session(dll, project, dir, drivePlanted, "planted failures");
    FreeLibrary(dll);
    printf("the host goes on after the planted failures\n");
    return failed;
}
