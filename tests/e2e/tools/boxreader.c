/* boxreader: the end-to-end tests' eyes and hands.
 *
 * Starts the program under test with an exact command line (a Unix argv
 * handed to wine cannot express two blanks in a row or a trailing blank, and
 * the grammar cares about both), then logs every message box that any other
 * process shows, one UTF-8 line per box, and answers it so the run goes on.
 *
 *   boxreader.exe --log FILE [--timeout SECONDS] [--grace MS] [--echo] [--fast]
 *                 [--run EXE [--args-file FILE] [--cwd DIR]
 *                  [--stdout FILE] [--stderr FILE]] [--stop FILE] [--refs FILE]
 *                 [--shots DIR]
 *
 * Log lines (fields separated by tabs; \\ \t \n \r escaped inside fields):
 *   ref     <icon> <ok|missing>
 *   ready
 *   box     <process> <caption> <text> <icon> <buttons>
 *   shot    <file>            with --shots: the picture of the box before it
 *   exit    <code>            the program ended
 *   timeout                   the program was still running at the deadline
 *
 * The icon of a box in another process cannot be read through its handle,
 * so it is told by its pixels: at start the reader shows one box of each
 * standard icon itself, captures the icon from the screen, and later matches
 * every box's icon against those references. With --refs, the references
 * are kept in that file and read from it on later runs (same prefix, same
 * display), which saves showing them again.
 *
 * --shots DIR saves each box as it is on the screen, frame and caption
 * included, to DIR\box<N>.ppm (binary PPM, N from 1) before answering it
 * (scripts/screenshots.sh makes the pictures of docs/images/ so).
 *
 * --stdout and --stderr create those files and hand them to the program as
 * its standard output and standard error (the other standard handles stay
 * empty); without them the program gets no handles of the reader's.
 *
 * --fast only answers: every box at once, looked for every millisecond,
 * with no box lines and no icons learnt (scripts/bench.sh presses the boxes
 * of the runs it times so).
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

enum { kIconSide = 64, kMaxSeen = 64, kTextChars = 8192, kPollMs = 40 };

typedef struct {
    const char *name;
    UINT style;
    int width, height;
    BOOL captured;
    DWORD pixels[kIconSide * kIconSide];
} Reference;

static Reference g_refs[] = {
    {"error", MB_ICONERROR, 0, 0, FALSE, {0}},
    {"question", MB_ICONQUESTION, 0, 0, FALSE, {0}},
    {"exclamation", MB_ICONEXCLAMATION, 0, 0, FALSE, {0}},
    {"information", MB_ICONINFORMATION, 0, 0, FALSE, {0}},
};
enum { kRefCount = sizeof g_refs / sizeof g_refs[0] };

typedef struct {
    HWND box;
    DWORD answered_at;
} Seen;

static Seen g_seen[kMaxSeen];
static int g_seen_count;
static HANDLE g_log = INVALID_HANDLE_VALUE;
static BOOL g_echo;
static BOOL g_fast;

/* ---------- output ---------- */

static void write_bytes(HANDLE out, const char *bytes, DWORD size)
{
    DWORD written = 0;
    if (out != INVALID_HANDLE_VALUE && out != NULL) WriteFile(out, bytes, size, &written, NULL);
}

static void emit_line(const char *line)
{
    DWORD size = (DWORD)strlen(line);
    write_bytes(g_log, line, size);
    write_bytes(g_log, "\n", 1);
    if (g_echo) {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        write_bytes(out, line, size);
        write_bytes(out, "\n", 1);
    }
}

/* Appends text as UTF-8 with the separators escaped; never writes past cap. */
static void append_field(char *line, size_t cap, const wchar_t *text)
{
    size_t used = strlen(line);
    char utf8[8];
    for (; *text; ++text) {
        const char *piece = NULL;
        int length;
        switch (*text) {
            case L'\\': piece = "\\\\"; break;
            case L'\t': piece = "\\t"; break;
            case L'\n': piece = "\\n"; break;
            case L'\r': piece = "\\r"; break;
            default: break;
        }
        if (piece) {
            length = (int)strlen(piece);
            memcpy(utf8, piece, (size_t)length);
        } else {
            int units = (IS_HIGH_SURROGATE(text[0]) && IS_LOW_SURROGATE(text[1])) ? 2 : 1;
            length = WideCharToMultiByte(CP_UTF8, 0, text, units, utf8, (int)sizeof utf8, NULL, NULL);
            text += units - 1;
        }
        if (length <= 0 || used + (size_t)length + 1 >= cap) break;
        memcpy(line + used, utf8, (size_t)length);
        used += (size_t)length;
        line[used] = '\0';
    }
}

static void append_ascii(char *line, size_t cap, const char *text)
{
    size_t used = strlen(line);
    size_t length = strlen(text);
    if (used + length + 1 < cap) {
        memcpy(line + used, text, length + 1);
    }
}

/* ---------- pixels ---------- */

/* Wine keeps the icon control of a box without icon, empty: ask whether it
 * holds an icon at all (the handle itself means nothing in this process). */
static BOOL holds_icon(HWND control)
{
    DWORD_PTR icon = 0;
    return SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 1000, &icon) && icon != 0;
}

static HWND find_icon_control(HWND box)
{
    HWND child = NULL;
    while ((child = FindWindowExW(box, child, L"Static", NULL)) != NULL) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) && holds_icon(child)) return child;
    }
    return NULL;
}

/* Copies width x height pixels of the screen from (left, top) as 32-bit
 * BGRX values in top-down rows. */
static BOOL capture_screen(int left, int top, int width, int height, DWORD *pixels)
{
    BOOL ok = FALSE;
    HDC screen = GetDC(NULL);
    if (!screen) return FALSE;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; /* top-down rows */
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
        GdiFlush();
        if (ok) memcpy(pixels, bits, (size_t)width * (size_t)height * sizeof(DWORD));
        SelectObject(memory, previous);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}

static BOOL capture_once(HWND control, DWORD *pixels, int *width, int *height)
{
    RECT rect;
    if (!GetWindowRect(control, &rect)) return FALSE;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    if (*width <= 0 || *height <= 0) return FALSE;
    if (*width > kIconSide) *width = kIconSide;
    if (*height > kIconSide) *height = kIconSide;
    return capture_screen(rect.left, rect.top, *width, *height, pixels);
}

static BOOL is_uniform(const DWORD *pixels, int count)
{
    for (int i = 1; i < count; ++i)
        if ((pixels[i] & 0xFFFFFF) != (pixels[0] & 0xFFFFFF)) return FALSE;
    return TRUE;
}

/* The box may still be painting: take the picture once two captures agree. */
static BOOL capture_icon(HWND control, DWORD *pixels, int *width, int *height)
{
    static DWORD previous[kIconSide * kIconSide];
    BOOL have_previous = FALSE;
    for (int attempt = 0; attempt < 40; ++attempt) {
        Sleep(kPollMs);
        if (!capture_once(control, pixels, width, height)) continue;
        int count = (*width) * (*height);
        if (is_uniform(pixels, count)) {
            have_previous = FALSE;
            continue;
        }
        if (have_previous && memcmp(previous, pixels, (size_t)count * sizeof(DWORD)) == 0) return TRUE;
        memcpy(previous, pixels, (size_t)count * sizeof(DWORD));
        have_previous = TRUE;
    }
    return FALSE;
}

static unsigned long long difference(const DWORD *a, const DWORD *b, int count)
{
    unsigned long long sum = 0;
    for (int i = 0; i < count; ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            int x = (int)((a[i] >> shift) & 0xFF), y = (int)((b[i] >> shift) & 0xFF);
            sum += (unsigned long long)(x > y ? x - y : y - x);
        }
    return sum;
}

static const char *classify_icon(HWND box)
{
    static DWORD pixels[kIconSide * kIconSide];
    int width = 0, height = 0;
    HWND control = find_icon_control(box);
    if (!control) return "none";
    if (!capture_icon(control, pixels, &width, &height)) return "unreadable";
    const char *best = "unknown";
    unsigned long long best_difference = 0;
    for (int i = 0; i < kRefCount; ++i) {
        const Reference *ref = &g_refs[i];
        if (!ref->captured || ref->width != width || ref->height != height) continue;
        unsigned long long d = difference(ref->pixels, pixels, width * height);
        if (strcmp(best, "unknown") == 0 || d < best_difference) {
            best = ref->name;
            best_difference = d;
        }
    }
    /* Anything far from every reference is no standard icon. */
    if (best_difference > (unsigned long long)width * height * 3 * 32) return "unknown";
    return best;
}

/* ---------- references ---------- */

static DWORD WINAPI show_reference(LPVOID parameter)
{
    const Reference *ref = (const Reference *)parameter;
    wchar_t caption[64];
    swprintf(caption, 64, L"boxreader reference %u", ref->style);
    MessageBoxW(NULL, L"reference", caption, MB_OK | ref->style);
    return 0;
}

static HWND wait_for_window(const wchar_t *caption, DWORD limit_ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < limit_ms) {
        HWND box = FindWindowW(L"#32770", caption);
        if (box && IsWindowVisible(box)) return box;
        Sleep(kPollMs / 2);
    }
    return NULL;
}

static void capture_reference(Reference *ref)
{
    wchar_t caption[64];
    swprintf(caption, 64, L"boxreader reference %u", ref->style);
    HANDLE thread = CreateThread(NULL, 0, show_reference, ref, 0, NULL);
    if (!thread) return;
    HWND box = wait_for_window(caption, 5000);
    if (box) {
        HWND control = find_icon_control(box);
        if (control) ref->captured = capture_icon(control, ref->pixels, &ref->width, &ref->height);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    if (WaitForSingleObject(thread, 3000) != WAIT_OBJECT_0 && box) PostMessageW(box, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread, 1000);
    CloseHandle(thread);
}

static void report_references(void)
{
    for (int i = 0; i < kRefCount; ++i) {
        char line[128] = "ref\t";
        append_ascii(line, sizeof line, g_refs[i].name);
        append_ascii(line, sizeof line, g_refs[i].captured ? "\tok" : "\tmissing");
        emit_line(line);
    }
}

static BOOL all_captured(void)
{
    for (int i = 0; i < kRefCount; ++i)
        if (!g_refs[i].captured) return FALSE;
    return TRUE;
}

static BOOL load_references(const wchar_t *path)
{
    DWORD size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    BOOL ok = ReadFile(file, g_refs, sizeof g_refs, &size, NULL) && size == sizeof g_refs;
    CloseHandle(file);
    /* The names are this program's own pointers, not the file's. */
    static const char *const names[] = {"error", "question", "exclamation", "information"};
    for (int i = 0; i < kRefCount; ++i) {
        g_refs[i].name = names[i];
        if (!ok) g_refs[i].captured = FALSE;
    }
    return ok && all_captured();
}

static void save_references(const wchar_t *path)
{
    DWORD written = 0;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    WriteFile(file, g_refs, sizeof g_refs, &written, NULL);
    CloseHandle(file);
}

static void learn_references(const wchar_t *cache)
{
    if (cache && load_references(cache)) {
        report_references();
        return;
    }
    for (int i = 0; i < kRefCount; ++i) capture_reference(&g_refs[i]);
    if (cache && all_captured()) save_references(cache);
    report_references();
}

/* ---------- boxes ---------- */

static void process_name(HWND box, wchar_t *name, DWORD capacity)
{
    DWORD pid = 0;
    wcscpy(name, L"?");
    GetWindowThreadProcessId(box, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        const wchar_t *base = wcsrchr(path, L'\\');
        base = base ? base + 1 : path;
        lstrcpynW(name, base, (int)capacity);
    }
    CloseHandle(process);
}

typedef struct {
    int id;
    const char *name;
} Button;

static const Button kButtons[] = {
    {IDOK, "ok"},   {IDCANCEL, "cancel"}, {IDABORT, "abort"},       {IDRETRY, "retry"},       {IDIGNORE, "ignore"},
    {IDYES, "yes"}, {IDNO, "no"},         {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"},
};

static BOOL has_button(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    return button && IsWindowVisible(button);
}

/* A restart prompt is answered "no": the test machine must not restart. */
static int answer_for(HWND box)
{
    static const int preference[] = {IDNO, IDOK, IDCANCEL};
    for (size_t i = 0; i < sizeof preference / sizeof preference[0]; ++i)
        if (has_button(box, preference[i])) return preference[i];
    return 0;
}

static void answer(HWND box)
{
    int id = answer_for(box);
    if (id)
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
    else
        PostMessageW(box, WM_CLOSE, 0, 0);
}

static void log_box(HWND box)
{
    static wchar_t text[kTextChars];
    static char line[kTextChars * 4];
    wchar_t caption[512], process[MAX_PATH];

    /* Give the box its moment to paint before its icon is looked at. */
    const char *icon = classify_icon(box);
    process_name(box, process, MAX_PATH);
    caption[0] = L'\0';
    GetWindowTextW(box, caption, 512);
    text[0] = L'\0';
    GetDlgItemTextW(box, 0xFFFF, text, kTextChars);

    strcpy(line, "box\t");
    append_field(line, sizeof line, process);
    append_ascii(line, sizeof line, "\t");
    append_field(line, sizeof line, caption);
    append_ascii(line, sizeof line, "\t");
    append_field(line, sizeof line, text);
    append_ascii(line, sizeof line, "\t");
    append_ascii(line, sizeof line, icon);
    append_ascii(line, sizeof line, "\t");
    BOOL first = TRUE;
    for (size_t i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i) {
        if (!has_button(box, kButtons[i].id)) continue;
        if (!first) append_ascii(line, sizeof line, ",");
        append_ascii(line, sizeof line, kButtons[i].name);
        first = FALSE;
    }
    emit_line(line);
}

/* ---------- pictures ---------- */

static const wchar_t *g_shots; /* --shots: the folder for pictures of the boxes */
static int g_shot_count;

static void write_ppm(const wchar_t *path, const DWORD *pixels, int width, int height)
{
    size_t count = (size_t)width * (size_t)height;
    unsigned char *rgb = (unsigned char *)malloc(count * 3);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (rgb && file != INVALID_HANDLE_VALUE) {
        char header[64];
        int length = wsprintfA(header, "P6\n%d %d\n255\n", width, height);
        for (size_t i = 0; i < count; ++i) {
            rgb[3 * i] = (unsigned char)(pixels[i] >> 16);
            rgb[3 * i + 1] = (unsigned char)(pixels[i] >> 8);
            rgb[3 * i + 2] = (unsigned char)pixels[i];
        }
        write_bytes(file, header, (DWORD)length);
        write_bytes(file, (const char *)rgb, (DWORD)(count * 3));
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    free(rgb);
}

/* The box as it is on the screen, once two captures 100 ms apart agree
 * (it has painted); logged as a "shot" line. */
static void save_picture(HWND box)
{
    RECT rect;
    if (!g_shots || !GetWindowRect(box, &rect)) return;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    size_t bytes = (size_t)width * (size_t)height * sizeof(DWORD);
    DWORD *pixels = (DWORD *)malloc(bytes);
    DWORD *previous = (DWORD *)malloc(bytes);
    BOOL have_previous = FALSE, steady = FALSE;
    for (int attempt = 0; pixels && previous && !steady && attempt < 50; ++attempt) {
        Sleep(100);
        if (!capture_screen(rect.left, rect.top, width, height, pixels)) continue;
        steady = have_previous && memcmp(previous, pixels, bytes) == 0;
        memcpy(previous, pixels, bytes);
        have_previous = TRUE;
    }
    if (steady) {
        wchar_t path[MAX_PATH];
        char line[MAX_PATH * 4] = "shot\t";
        swprintf(path, MAX_PATH, L"%ls\\box%d.ppm", g_shots, ++g_shot_count);
        write_ppm(path, pixels, width, height);
        append_field(line, sizeof line, path);
        emit_line(line);
    }
    free(pixels);
    free(previous);
}

static Seen *find_seen(HWND box)
{
    for (int i = 0; i < g_seen_count; ++i)
        if (g_seen[i].box == box) return &g_seen[i];
    return NULL;
}

static void forget_closed_boxes(void)
{
    int kept = 0;
    for (int i = 0; i < g_seen_count; ++i)
        if (IsWindow(g_seen[i].box)) g_seen[kept++] = g_seen[i];
    g_seen_count = kept;
}

static BOOL CALLBACK visit_window(HWND window, LPARAM unused)
{
    (void)unused;
    wchar_t class_name[16];
    DWORD pid = 0;
    if (!GetClassNameW(window, class_name, 16) || wcscmp(class_name, L"#32770") != 0) return TRUE;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    Seen *seen = find_seen(window);
    if (seen) {
        /* A click posted before the box could take it is sent again. */
        if (GetTickCount() - seen->answered_at > 1000) {
            answer(window);
            seen->answered_at = GetTickCount();
        }
        return TRUE;
    }
    if (!g_fast) {
        log_box(window);
        save_picture(window);
    }
    answer(window);
    if (g_seen_count < kMaxSeen) {
        g_seen[g_seen_count].box = window;
        g_seen[g_seen_count].answered_at = GetTickCount();
        ++g_seen_count;
    }
    return TRUE;
}

static void sweep(void)
{
    forget_closed_boxes();
    EnumWindows(visit_window, 0);
}

/* ---------- the run ---------- */

typedef struct {
    const wchar_t *log;
    const wchar_t *run;
    const wchar_t *args_file;
    const wchar_t *cwd;
    const wchar_t *stop;
    const wchar_t *refs;
    const wchar_t *stdout_file;
    const wchar_t *stderr_file;
    DWORD timeout_ms;
    DWORD grace_ms;
} Options;

static BOOL parse_options(int argc, wchar_t **argv, Options *options)
{
    memset(options, 0, sizeof *options);
    options->timeout_ms = 60000;
    options->grace_ms = 150;
    for (int i = 1; i < argc; ++i) {
        const wchar_t *value = i + 1 < argc ? argv[i + 1] : NULL;
        if (wcscmp(argv[i], L"--echo") == 0) {
            g_echo = TRUE;
            continue;
        }
        if (wcscmp(argv[i], L"--fast") == 0) {
            g_fast = TRUE;
            continue;
        }
        if (!value) return FALSE;
        if (wcscmp(argv[i], L"--log") == 0)
            options->log = value;
        else if (wcscmp(argv[i], L"--run") == 0)
            options->run = value;
        else if (wcscmp(argv[i], L"--args-file") == 0)
            options->args_file = value;
        else if (wcscmp(argv[i], L"--cwd") == 0)
            options->cwd = value;
        else if (wcscmp(argv[i], L"--stop") == 0)
            options->stop = value;
        else if (wcscmp(argv[i], L"--refs") == 0)
            options->refs = value;
        else if (wcscmp(argv[i], L"--stdout") == 0)
            options->stdout_file = value;
        else if (wcscmp(argv[i], L"--stderr") == 0)
            options->stderr_file = value;
        else if (wcscmp(argv[i], L"--shots") == 0)
            g_shots = value;
        else if (wcscmp(argv[i], L"--timeout") == 0)
            options->timeout_ms = (DWORD)wcstoul(value, NULL, 10) * 1000;
        else if (wcscmp(argv[i], L"--grace") == 0)
            options->grace_ms = (DWORD)wcstoul(value, NULL, 10);
        else
            return FALSE;
        ++i;
    }
    return options->log != NULL;
}

/* The command line tail comes from a UTF-8 file, byte for byte. */
static wchar_t *read_arguments(const wchar_t *path)
{
    static char bytes[32768];
    DWORD size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    BOOL ok = ReadFile(file, bytes, sizeof bytes - 1, &size, NULL);
    CloseHandle(file);
    if (!ok) return NULL;
    int units = MultiByteToWideChar(CP_UTF8, 0, bytes, (int)size, NULL, 0);
    wchar_t *text = (wchar_t *)calloc((size_t)units + 1, sizeof(wchar_t));
    if (text && units > 0) MultiByteToWideChar(CP_UTF8, 0, bytes, (int)size, text, units);
    return text;
}

/* An inheritable handle to a new, empty file; NULL when no file was asked for. */
static HANDLE create_inheritable(const wchar_t *path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    if (!path) return NULL;
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

static void close_if_open(HANDLE handle)
{
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

static HANDLE launch(const Options *options)
{
    wchar_t *tail = options->args_file ? read_arguments(options->args_file) : NULL;
    if (options->args_file && !tail) return NULL;
    size_t length = wcslen(options->run) + (tail ? wcslen(tail) : 0) + 4;
    wchar_t *command_line = (wchar_t *)calloc(length, sizeof(wchar_t));
    HANDLE process = NULL;
    DWORD error = ERROR_OUTOFMEMORY;
    HANDLE output = create_inheritable(options->stdout_file);
    HANDLE errors = create_inheritable(options->stderr_file);
    BOOL capture = output || errors;
    if (output == INVALID_HANDLE_VALUE || errors == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else if (command_line) {
        swprintf(command_line, length, L"\"%ls\"%ls%ls", options->run, (tail && *tail) ? L" " : L"", tail ? tail : L"");
        STARTUPINFOW startup;
        PROCESS_INFORMATION info;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        if (capture) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = output;
            startup.hStdError = errors;
        }
        if (CreateProcessW(options->run, command_line, NULL, NULL, capture, 0, NULL, options->cwd, &startup, &info)) {
            CloseHandle(info.hThread);
            process = info.hProcess;
        }
        error = GetLastError();
    }
    close_if_open(output);
    close_if_open(errors);
    free(command_line);
    free(tail);
    SetLastError(error);
    return process;
}

/* Wine's CreateProcessW fails now and then with ERROR_INTERNAL_ERROR on a
 * busy machine; a moment later the same start works. */
static HANDLE launch_with_retries(const Options *options)
{
    for (int attempt = 1;; ++attempt) {
        HANDLE process = launch(options);
        DWORD error = GetLastError();
        if (process || attempt == 3) {
            SetLastError(error);
            return process;
        }
        char line[64];
        wsprintfA(line, "launch-retry\t%lu", error);
        emit_line(line);
        Sleep(500);
    }
}

static BOOL stop_requested(const Options *options)
{
    return options->stop && GetFileAttributesW(options->stop) != INVALID_FILE_ATTRIBUTES;
}

static int watch(const Options *options, HANDLE program)
{
    DWORD start = GetTickCount();
    DWORD ended_at = 0;
    BOOL ended = FALSE;
    for (;;) {
        sweep();
        if (program && !ended && WaitForSingleObject(program, 0) == WAIT_OBJECT_0) {
            ended = TRUE;
            ended_at = GetTickCount();
        }
        if (ended && GetTickCount() - ended_at >= options->grace_ms) break;
        if (stop_requested(options)) break;
        if (GetTickCount() - start >= options->timeout_ms) {
            if (program && !ended) {
                emit_line("timeout");
                TerminateProcess(program, 124);
                return 124;
            }
            break;
        }
        Sleep(g_fast ? 1 : kPollMs);
    }
    sweep();
    if (!program) return 0;
    DWORD code = 0;
    GetExitCodeProcess(program, &code);
    char line[32];
    wsprintfA(line, "exit\t%ld", (long)(LONG)code);
    emit_line(line);
    return (int)code;
}

int wmain(int argc, wchar_t **argv)
{
    Options options;
    if (!parse_options(argc, argv, &options)) {
        static const char usage[] =
            "usage: boxreader --log FILE [--timeout S] [--grace MS] [--echo] [--fast] "
            "[--run EXE [--args-file FILE] [--cwd DIR] [--stdout FILE] [--stderr FILE]] "
            "[--stop FILE] [--refs FILE] [--shots DIR]\n";
        write_bytes(GetStdHandle(STD_ERROR_HANDLE), usage, sizeof usage - 1);
        return 2;
    }
    g_log = CreateFileW(options.log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, NULL);
    if (g_log == INVALID_HANDLE_VALUE) return 2;
    if (!g_fast) learn_references(options.refs);
    emit_line("ready");

    HANDLE program = NULL;
    if (options.run) {
        program = launch_with_retries(&options);
        if (!program) {
            char line[64];
            wsprintfA(line, "launch-failed\t%lu", GetLastError());
            emit_line(line);
            CloseHandle(g_log);
            return 2;
        }
    }
    int code = watch(&options, program);
    if (program) CloseHandle(program);
    CloseHandle(g_log);
    return code;
}
