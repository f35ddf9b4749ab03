/* The limit of "help": the window-station check and one information box
 * with a text of the usage text's shape (its line lengths, in words).
 *
 *   bare_help.exe
 */
#include "bare.h"

static const unsigned char kLineLengths[] = {68, 27, 0,  13, 50, 0,  28, 49, 47, 45, 43, 41, 43, 45, 50, 0,
                                             72, 74, 46, 0,  74, 75, 33, 0,  8,  0,  65, 80, 95, 47, 0};

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    static const wchar_t kWords[] = L"devices services section options message ";
    static wchar_t text[2048];
    size_t end = 0;
    for (size_t line = 0; line < sizeof kLineLengths; ++line) {
        for (unsigned i = 0; i < kLineLengths[line]; ++i) text[end++] = kWords[i % (sizeof kWords / 2 - 1)];
        if (line + 1 < sizeof kLineLengths) text[end++] = L'\n';
    }
    text[end] = L'\0';
    wchar_t inf_path[MAX_PATH];
    bare_start(inf_path);
    bare_check_window_station();
    MessageBoxW(NULL, text, L"Bare Help", MB_OK | MB_ICONINFORMATION);
    return 0;
}
