/* versioninfo: prints the version record of a Windows executable, read the
 * way Windows itself reads it (GetFileVersionInfoW and VerQueryValueW), so
 * that the end-to-end tests can check the record the build put in.
 *
 *   versioninfo.exe FILE
 *
 * Output, UTF-8 with LF line ends, one field a line, name and value separated by a tab:
 *   FileVersion-binary    2.1.0.0      (the fixed record)
 *   ProductVersion-binary 2.1.0.0
 *   Translation           0409 1200    (language and code page, hex and decimal)
 *   <name>                <value>      for each text of the first translation
 * Exit code 0, or 1 when the file has no version record.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

static void print_utf8(const wchar_t *text)
{
    char bytes[1024];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, (int)sizeof bytes, NULL, NULL);
    fputs(length > 0 ? bytes : "?", stdout);
}

static void print_binary_version(const char *name, DWORD high, DWORD low)
{
    printf("%s\t%u.%u.%u.%u\n", name, (unsigned)HIWORD(high), (unsigned)LOWORD(high), (unsigned)HIWORD(low),
           (unsigned)LOWORD(low));
}

static void print_texts(const void *record, WORD language, WORD code_page)
{
    static const wchar_t *const names[] = {L"CompanyName",    L"FileDescription",  L"FileVersion", L"InternalName",
                                           L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        wchar_t path[96];
        wchar_t *value = NULL;
        UINT length = 0;
        swprintf(path, sizeof path / sizeof path[0], L"\\StringFileInfo\\%04X%04X\\%ls", language, code_page, names[i]);
        if (!VerQueryValueW(record, path, (void **)&value, &length)) continue;
        print_utf8(names[i]);
        putchar('\t');
        print_utf8(value);
        putchar('\n');
    }
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fputs("usage: versioninfo FILE\n", stderr);
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY); /* LF, not CR LF: the tests compare lines */
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    void *record = size ? malloc(size) : NULL;
    if (!record || !GetFileVersionInfoW(argv[1], 0, size, record)) {
        fprintf(stderr, "no version record (error %lu)\n", GetLastError());
        free(record);
        return 1;
    }
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (VerQueryValueW(record, L"\\", (void **)&fixed, &length) && length >= sizeof *fixed) {
        print_binary_version("FileVersion-binary", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        print_binary_version("ProductVersion-binary", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    }
    WORD *translation = NULL;
    if (VerQueryValueW(record, L"\\VarFileInfo\\Translation", (void **)&translation, &length) && length >= 4) {
        printf("Translation\t%04X %u\n", (unsigned)translation[0], (unsigned)translation[1]);
        print_texts(record, translation[0], translation[1]);
    }
    free(record);
    return 0;
}
