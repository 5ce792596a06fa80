/* windowhost.c - a host of partlist.dll that opens the bill-of-materials window and drives it as
 * a user would, from a second thread that finds the dialogs and their controls by their ids.
 *
 *   windowhost DLL PROJECT OUTDIR
 *
 * The main thread calls _CreatePartList@12 (PROJECT, "csi", ".") and, once it returns,
 * _DestroyPartList@0. The driver waits for the window, writes the list's rows to OUTDIR\rows1.txt
 * (one line a row, the five cells joined by tabs), opens the component filter, ticks all three
 * boxes, sets the length to 45 and confirms; writes the rows again (rows2.txt), saves a copy of
 * the report (report.out) and a picture of the window (window.bmp), presses Copy and writes the
 * clipboard text (clipboard.txt), and presses Close. Exit status 0 when every step was done and
 * the report is gone afterwards, else 1 (a line on standard error says which step failed).
 */
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

typedef int(__stdcall *CreateFn)(const char *, const char *, const char *);
typedef void(__stdcall *DestroyFn)(void);

enum { WAIT_MS = 20000, STEP_MS = 50, CELL = 1024 };

static const char *outdir;
static const char *project;
static char reportPath[MAX_PATH];
static int failed;

static void fail(const char *what) {
    fprintf(stderr, "windowhost: %s\n", what);
    failed = 1;
}

static HWND waitWindow(const char *caption) {
    for (int waited = 0; waited < WAIT_MS; waited += STEP_MS) {
        HWND w = FindWindowA(NULL, caption);
        if (w != NULL && IsWindowVisible(w)) return w;
        Sleep(STEP_MS);
    }
    return NULL;
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

/* The list's rows, as the window shows them. */
static void writeRows(HWND dialog, const char *name) {
    HWND list = GetDlgItem(dialog, 1002);
    FILE *f = outFile(name, "wb");
    if (list == NULL || f == NULL) {
        fail("cannot read the list");
        if (f) fclose(f);
        return;
    }
    const int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 5; ++c) {
            wchar_t text[CELL] = L"";
            LVITEMW item;
            memset(&item, 0, sizeof item);
            item.iSubItem = c;
            item.pszText = text;
            item.cchTextMax = CELL;
            SendMessageW(list, LVM_GETITEMTEXTW, (WPARAM)r, (LPARAM)&item);
            char utf8[CELL * 4];
            const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
            fprintf(f, "%s%s", c ? "\t" : "", n > 0 ? utf8 : "");
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

static void writeClipboard(void) {
    for (int waited = 0; waited < WAIT_MS; waited += STEP_MS) {
        if (OpenClipboard(NULL)) {
            HANDLE h = GetClipboardData(CF_TEXT);
            const char *text = h ? (const char *)GlobalLock(h) : NULL;
            FILE *f = outFile("clipboard.txt", "wb");
            if (text != NULL && f != NULL) fwrite(text, 1, strlen(text), f);
            if (text == NULL) fail("no text on the clipboard");
            if (f) fclose(f);
            if (h) GlobalUnlock(h);
            CloseClipboard();
            return;
        }
        Sleep(STEP_MS);
    }
    fail("cannot open the clipboard");
}

static void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

static DWORD WINAPI drive(LPVOID unused) {
    (void)unused;
    HWND bom = waitWindow("Bill Of Materials");
    if (bom == NULL) {
        fail("the window did not open");
        return 0;
    }
    Sleep(500); /* the first run fills the list once the window is shown */
    if (SendMessageA(bom, WM_GETICON, ICON_BIG, 0) == 0) fail("the window has no icon");
    writeRows(bom, "rows1.txt");

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
    char copy[MAX_PATH];
    snprintf(copy, sizeof copy, "%s\\report.out", outdir);
    if (!CopyFileA(reportPath, copy, FALSE)) fail("no report beside the project");
    writePicture(bom);

    press(bom, 1019);
    Sleep(300);
    writeClipboard();
    press(bom, 1);
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: windowhost DLL PROJECT OUTDIR\n");
        return 2;
    }
    project = argv[2];
    outdir = argv[3];
    const char *sep = strrchr(project, '\\');
    snprintf(reportPath, sizeof reportPath, "%.*s\\temp.out", sep ? (int)(sep - project) : 0,
             project);
    /* The description maps and the symbol files (search path ".") stand beside the project. */
    char dir[MAX_PATH];
    snprintf(dir, sizeof dir, "%.*s", sep ? (int)(sep - project) : 0, project);
    WriteProfileStringA("VANTRELL", "BillOfMaterialsPath", dir);
    SetCurrentDirectoryA(dir);
    HMODULE dll = LoadLibraryA(argv[1]);
    if (dll == NULL) {
        fprintf(stderr, "windowhost: cannot load %s\n", argv[1]);
        return 2;
    }
    CreateFn create = (CreateFn)GetProcAddress(dll, "_CreatePartList@12");
    DestroyFn destroy = (DestroyFn)GetProcAddress(dll, "_DestroyPartList@0");
    if (create == NULL || destroy == NULL) {
        fprintf(stderr, "windowhost: the window's entry points are missing\n");
        return 2;
    }
    HANDLE driver = CreateThread(NULL, 0, drive, NULL, 0, NULL);
    const int shown = create(project, "csi", ".");
    WaitForSingleObject(driver, WAIT_MS);
    destroy();
    if (shown != 1) fail("_CreatePartList@12 did not return 1");
    if (GetFileAttributesA(reportPath) != INVALID_FILE_ATTRIBUTES)
        fail("the report is still there after _DestroyPartList@0");
    char letters[16] = "", length[16] = "";
    GetProfileStringA("BillOfMaterials", "DravoniteSettings", "", letters, sizeof letters);
    GetProfileStringA("BillOfMaterials", "Length", "", length, sizeof length);
    printf("settings: DravoniteSettings=%s Length=%s\n", letters, length);
    if (strcmp(letters, "dic") != 0 || strcmp(length, "45") != 0)
        fail("the settings were not saved");
    FreeLibrary(dll);
    return failed;
}
