/* winhost.c - a host of partlist.dll, as the schematic editor is one: it loads the library, finds
 * the entry points by the names the library exports and runs jobs through them, all in one
 * process.
 *
 *   winhost DLL RUNS    runs each line of the file RUNS (the arguments after the program name,
 *                       split at blanks; "--proplen N" and "--map FILE" at its start are handed
 *                       to SetPropertyLength and initializeMap first) and prints each run's status
 *                       on a line of its own. Exit status 0, or 2 when the library or one of its
 *                       entry points cannot be had.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

typedef int(__cdecl *MainFn)(int, char **);
typedef int(__cdecl *TextFn)(const char *);
typedef int(__cdecl *ExitFn)(int);

enum { MAXLINE = 4096, MAXWORDS = 64 };

static FARPROC entry(HMODULE dll, const char *name) {
    FARPROC f = GetProcAddress(dll, name);
    if (f == NULL) fprintf(stderr, "winhost: no entry point %s\n", name);
    return f;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: winhost DLL RUNS\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA(argv[1]);
    if (dll == NULL) {
        fprintf(stderr, "winhost: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    MainFn run = (MainFn)entry(dll, "main");
    TextFn map = (TextFn)entry(dll, "initializeMap");
    TextFn proplen = (TextFn)entry(dll, "SetPropertyLength");
    ExitFn schexit = (ExitFn)entry(dll, "Sch_Exit");
    if (run == NULL || map == NULL || proplen == NULL || schexit == NULL) return 2;

    FILE *runs = fopen(argv[2], "r");
    if (runs == NULL) {
        fprintf(stderr, "winhost: cannot read %s\n", argv[2]);
        return 2;
    }
    char line[MAXLINE];
    while (fgets(line, sizeof line, runs) != NULL) {
        char *words[MAXWORDS + 1];
        int n = 0;
        words[n++] = "partlist";
        for (char *w = strtok(line, " \t\r\n"); w != NULL && n < MAXWORDS;
             w = strtok(NULL, " \t\r\n"))
            words[n++] = w;
        if (n == 1) continue;
        /* The partlist command's width, unless the line sets its own. */
        proplen("40");
        int first = 1;
        while (first + 1 < n) {
            if (strcmp(words[first], "--proplen") == 0)
                proplen(words[first + 1]);
            else if (strcmp(words[first], "--map") == 0)
                map(words[first + 1]);
            else
                break;
            first += 2;
        }
        words[first - 1] = "partlist";
        words[n] = NULL;
        printf("%d\n", run(n - first + 1, words + first - 1));
        fflush(stdout);
    }
    fclose(runs);
    /* Sch_Exit outside a run only releases what is left: the status comes back. */
    if (schexit(0) != 0) {
        fprintf(stderr, "winhost: Sch_Exit(0) returned another status\n");
        return 1;
    }
    FreeLibrary(dll);
    return 0;
}
