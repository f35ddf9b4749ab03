/* devtool: makes and lists devices through the Setup API, for the
 * end-to-end tests of the device actions.
 *
 *   devtool.exe create CLASSGUID CLASSNAME HWID[;HWID...]
 *       a root-enumerated device of the class with these hardware IDs,
 *       registered, so that it is present; prints its instance ID
 *   devtool.exe list CLASSGUID
 *       one line for every present device of the class:
 *       INSTANCEID <tab> HWID;HWID... <tab> DRIVER (the driver key, or -)
 *
 * Output is UTF-8 on stdout; the exit code is 0 on success, else the last
 * error of the failed call.
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

/* cfgmgr32.h's limit for an instance ID, with its terminator. */
#define DEVICE_ID_CAPACITY 200

static void print_utf8(const wchar_t *text)
{
    char buffer[4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (length > 0) fputs(buffer, stdout);
}

static int failed(const char *what)
{
    DWORD error = GetLastError();
    fprintf(stderr, "%s failed: 0x%lx\n", what, (unsigned long)error);
    return error != 0 ? (int)error : 1;
}

/* "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" */
static int parse_guid(const wchar_t *text, GUID *guid)
{
    unsigned long data1;
    unsigned int data2, data3, bytes[8];
    int consumed = 0;
    if (swscanf(text, L"{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &data1, &data2, &data3, &bytes[0], &bytes[1],
                &bytes[2], &bytes[3], &bytes[4], &bytes[5], &bytes[6], &bytes[7], &consumed) != 11 ||
        text[consumed] != L'\0')
        return 0;
    guid->Data1 = data1;
    guid->Data2 = (unsigned short)data2;
    guid->Data3 = (unsigned short)data3;
    for (int i = 0; i < 8; ++i) guid->Data4[i] = (unsigned char)bytes[i];
    return 1;
}

/* "a;b" -> "a\0b\0\0" in `ids`; the size in bytes. */
static DWORD multi_string(const wchar_t *list, wchar_t *ids, size_t capacity)
{
    size_t length = wcslen(list);
    if (length + 2 > capacity) return 0;
    for (size_t i = 0; i < length; ++i) ids[i] = list[i] == L';' ? L'\0' : list[i];
    ids[length] = L'\0';
    ids[length + 1] = L'\0';
    return (DWORD)((length + 2) * sizeof(wchar_t));
}

static int create(const wchar_t *class_text, const wchar_t *class_name, const wchar_t *list)
{
    GUID guid;
    wchar_t ids[1024];
    wchar_t instance[DEVICE_ID_CAPACITY];
    SP_DEVINFO_DATA device;
    DWORD size = multi_string(list, ids, sizeof ids / sizeof ids[0]);
    int result = 0;
    ZeroMemory(&device, sizeof device);
    device.cbSize = sizeof device;
    if (!parse_guid(class_text, &guid) || size == 0) return 2;
    HDEVINFO set = SetupDiCreateDeviceInfoList(&guid, NULL);
    if (set == INVALID_HANDLE_VALUE) return failed("SetupDiCreateDeviceInfoList");
    if (!SetupDiCreateDeviceInfoW(set, class_name, &guid, NULL, NULL, DICD_GENERATE_ID, &device))
        result = failed("SetupDiCreateDeviceInfoW");
    else if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, (const BYTE *)ids, size))
        result = failed("SetupDiSetDeviceRegistryPropertyW");
    else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device))
        result = failed("SetupDiCallClassInstaller");
    else if (!SetupDiGetDeviceInstanceIdW(set, &device, instance, DEVICE_ID_CAPACITY, NULL))
        result = failed("SetupDiGetDeviceInstanceIdW");
    else {
        print_utf8(instance);
        fputs("\n", stdout);
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

static void print_property(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property, int multi)
{
    wchar_t value[1024] = {0};
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, property, NULL, (BYTE *)value,
                                           sizeof value - 2 * sizeof(wchar_t), NULL) ||
        value[0] == L'\0') {
        fputs("-", stdout);
        return;
    }
    for (wchar_t *id = value; *id != L'\0'; id += wcslen(id) + 1) {
        if (id != value) fputs(";", stdout);
        print_utf8(id);
        if (!multi) break;
    }
}

static int list(const wchar_t *class_text)
{
    GUID guid;
    SP_DEVINFO_DATA device;
    wchar_t instance[DEVICE_ID_CAPACITY];
    ZeroMemory(&device, sizeof device);
    device.cbSize = sizeof device;
    if (!parse_guid(class_text, &guid)) return 2;
    HDEVINFO set = SetupDiGetClassDevsW(&guid, NULL, NULL, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return failed("SetupDiGetClassDevsW");
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        if (!SetupDiGetDeviceInstanceIdW(set, &device, instance, DEVICE_ID_CAPACITY, NULL)) continue;
        print_utf8(instance);
        fputs("\t", stdout);
        print_property(set, &device, SPDRP_HARDWAREID, 1);
        fputs("\t", stdout);
        print_property(set, &device, SPDRP_DRIVER, 0);
        fputs("\n", stdout);
    }
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc == 5 && wcscmp(argv[1], L"create") == 0) return create(argv[2], argv[3], argv[4]);
    if (argc == 3 && wcscmp(argv[1], L"list") == 0) return list(argv[2]);
    fputs("usage: devtool create CLASSGUID CLASSNAME HWID[;HWID...] | list CLASSGUID\n", stderr);
    return 2;
}
