// The cases' world on Windows (or Wine): the real machine. Everything a case
// makes has a name of its own (the process id and the case's number) and is
// taken away when the case ends: its folder, its registry key, its services,
// and every device of the suite's own class.
//
// This side talks to Windows directly, not through the platform layer under
// test, so that a fault there cannot hide in the set-up.
#include "contract.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

namespace contract {

namespace {

constexpr char kServiceArgument[] = "--contract-service";
constexpr char kExitArgument[] = "--contract-exit";
constexpr DWORD kServiceWaitMs = 15000;
constexpr DWORD kCheckPointMs = 250;

const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string U16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::u16string Decimal(unsigned long value) { return U16(std::to_string(value)); }

const ::GUID* Sdk(const platform::GUID& guid) { return reinterpret_cast<const ::GUID*>(&guid); }

std::u16string GuidText(const platform::GUID& guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return U16(std::string(text));
}

// --- The suite's own test service ------------------------------------------

SERVICE_STATUS_HANDLE serviceStatus;
HANDLE stopRequested;
DWORD stopDelay;  // how long a stop takes, from the service's command line

void Report(DWORD state, DWORD checkPoint = 0)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? stopDelay : 0;
    SetServiceStatus(serviceStatus, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD /*type*/, void* /*data*/, void* /*context*/)
{
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, 1);
        SetEvent(stopRequested);
        return NO_ERROR;
    }
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv)
{
    serviceStatus = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", OnControl, nullptr);
    if (serviceStatus == nullptr) return;
    stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopRequested != nullptr) {
        Report(SERVICE_RUNNING);
        WaitForSingleObject(stopRequested, INFINITE);
        for (DWORD waited = 0, checkPoint = 2; waited < stopDelay; waited += kCheckPointMs, ++checkPoint) {
            Sleep(kCheckPointMs);
            Report(SERVICE_STOP_PENDING, checkPoint);
        }
    }
    Report(SERVICE_STOPPED);
}

// --- Tidying up ------------------------------------------------------------

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring inside = path + L"\\" + name;
            SetFileAttributesW(inside.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                RemoveTree(inside);
            else
                DeleteFileW(inside.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

DWORD ServiceState(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD state)
{
    for (DWORD waited = 0; waited < kServiceWaitMs; waited += 50) {
        if (ServiceState(service) == state) return true;
        Sleep(50);
    }
    return ServiceState(service) == state;
}

void RemoveService(SC_HANDLE manager, const std::u16string& name)
{
    SC_HANDLE service = OpenServiceW(manager, W(name), SERVICE_ALL_ACCESS);
    if (service == nullptr) return;
    if (ServiceState(service) != SERVICE_STOPPED) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        WaitForState(service, SERVICE_STOPPED);
    }
    DeleteService(service);
    CloseServiceHandle(service);
}

// The package staged from `inf`, out of the driver store. Wine deletes
// nothing (docs/wine.md), so its copy in the INF folder goes by hand.
void DeletePackage(const std::u16string& inf)
{
    wchar_t published[MAX_PATH] = L"";
    if (!SetupCopyOEMInfW(W(inf), nullptr, SPOST_PATH, SP_COPY_REPLACEONLY | SP_COPY_NOOVERWRITE, published, MAX_PATH,
                          nullptr, nullptr) &&
        GetLastError() != ERROR_FILE_EXISTS)
        return;
    const std::wstring path = published;
    SetupUninstallOEMInfW(path.substr(path.find_last_of(L'\\') + 1).c_str(), SUOI_FORCEDELETE, nullptr);
    if (!UnderWine() || path.size() < 4) return;
    DeleteFileW(path.c_str());
    DeleteFileW((path.substr(0, path.size() - 4) + L".pnf").c_str());
}

// Every device of the suite's class, present or not: only the suite makes them.
void RemoveContractDevices()
{
    HDEVINFO set = SetupDiGetClassDevsW(Sdk(kContractClass), nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);
}

// The INF file as text: UTF-16 with its byte-order mark, CR LF line ends.
class InfText {
public:
    void Line(const std::u16string& line) { text_ += line + u"\r\n"; }
    std::string Bytes() const
    {
        std::string bytes = "\xFF\xFE";
        for (char16_t unit : text_) {
            bytes += static_cast<char>(unit & 0xFF);
            bytes += static_cast<char>(unit >> 8);
        }
        return bytes;
    }

private:
    std::u16string text_;
};

std::u16string Quoted(const std::u16string& text) { return u"\"" + text + u"\""; }

void WriteModels(InfText& text, const Inf& inf)
{
    if (inf.models.empty()) return;
    text.Line(u"[Manufacturer]");
    text.Line(u"Ostrel = Models, NTx86, NTamd64");
    for (const char16_t* decoration : {u"NTx86", u"NTamd64"}) {
        text.Line(u"[Models." + std::u16string(decoration) + u"]");
        for (const std::u16string& id : inf.models) text.Line(u"\"Contract device\" = Device.Install, " + id);
    }
    text.Line(u"[Device.Install]");
    text.Line(u"[Device.Install.Services]");
    text.Line(u"AddService = , 0x00000002");
}

void WriteSections(InfText& text, const Inf& inf)
{
    std::u16string sourceFiles;
    for (const InfSection& section : inf.sections) {
        text.Line(u"[" + section.name + u"]");
        if (!section.files.empty()) text.Line(u"CopyFiles = " + section.name + u".Files");
        if (!section.values.empty()) text.Line(u"AddReg = " + section.name + u".AddReg");
        if (!section.files.empty()) {
            text.Line(u"[" + section.name + u".Files]");
            for (const std::u16string& file : section.files) {
                text.Line(file);
                sourceFiles += file + u" = 1\r\n";
            }
        }
        if (!section.values.empty()) {
            text.Line(u"[" + section.name + u".AddReg]");
            for (const RegistryValue& value : section.values)
                text.Line(u"HKCU, " + Quoted(value.key) + u", " + Quoted(value.name) + u", , " + Quoted(value.data));
        }
    }
    text.Line(u"[DestinationDirs]");
    for (const InfSection& section : inf.sections)
        if (!section.files.empty()) text.Line(section.name + u".Files = -1, " + Quoted(section.destination));
    text.Line(u"[SourceDisksNames]");
    text.Line(u"1 = \"Contract disk\"");
    text.Line(u"[SourceDisksFiles]");
    text.Line(sourceFiles);
}

unsigned worldsMade = 0;

std::u16string ProgramPath()
{
    wchar_t program[4 * MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, 4 * MAX_PATH);
    return std::u16string(reinterpret_cast<const char16_t*>(program), length);
}

}  // namespace

Side ThisSide() { return Side::windows; }

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::optional<int> ServeIfAsked(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], kExitArgument) == 0) return std::atoi(argv[2]);
    if (argc < 2 || std::strcmp(argv[1], kServiceArgument) != 0) return std::nullopt;
    if (argc >= 3) stopDelay = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    static wchar_t name[] = L"OstrelContract";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

struct World::Machine {
    std::u16string tag;  // process and case: what makes the case's names its own
    std::u16string folder;
    std::vector<std::u16string> services;
    std::vector<std::u16string> packages;  // INF files whose packages the case may have staged
};

World::World() : machine_(std::make_unique<Machine>())
{
    machine_->tag = Decimal(GetCurrentProcessId()) + u"-" + Decimal(++worldsMade);
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::u16string folder = U16(length != 0 ? temp : L"C:\\");
    if (folder.back() == u'\\') folder.pop_back();
    machine_->folder = folder + u"\\ostrel-contract-" + machine_->tag;
    RemoveTree(reinterpret_cast<const wchar_t*>(machine_->folder.c_str()));
    CreateDirectoryW(W(machine_->folder), nullptr);
    RemoveContractDevices();
}

World::~World()
{
    if (SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {
        for (const std::u16string& name : machine_->services) RemoveService(manager, name);
        CloseServiceHandle(manager);
    }
    RemoveContractDevices();
    for (const std::u16string& inf : machine_->packages) DeletePackage(inf);
    RegDeleteTreeW(HKEY_CURRENT_USER, W(RegistryKey()));
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OstrelContract");
    RemoveTree(W(machine_->folder));
}

platform::LANGID World::UiLanguage() const { return GetUserDefaultUILanguage(); }

std::u16string World::Folder() const { return machine_->folder; }

std::u16string World::CurrentFolder() const
{
    wchar_t folder[4 * MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(4 * MAX_PATH, folder);
    std::u16string current(reinterpret_cast<const char16_t*>(folder), length);
    if (current.size() > 3 && current.back() == u'\\') current.pop_back();
    return current;
}

void World::WriteFile(const std::u16string& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "creating " << U8(path) << ": error " << GetLastError();
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(written, bytes.size()) << U8(path);
}

void World::MakeFolder(const std::u16string& path) { EXPECT_TRUE(CreateDirectoryW(W(path), nullptr)) << U8(path); }

bool World::Exists(const std::u16string& path) const { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

std::string World::Contents(const std::u16string& path) const
{
    HANDLE file =
        CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read != 0) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

void World::WriteInf(const std::u16string& path, const Inf& inf)
{
    InfText text;
    text.Line(u"[Version]");
    text.Line(u"Signature = \"$Windows NT$\"");
    if (inf.className) text.Line(u"Class = " + *inf.className);
    if (inf.classGuid) text.Line(u"ClassGuid = " + GuidText(*inf.classGuid));
    text.Line(u"Provider = Ostrel");
    text.Line(u"DriverVer = 01/01/2024,1.0.0.0");
    WriteModels(text, inf);
    WriteSections(text, inf);
    WriteFile(path, text.Bytes());
}

std::u16string World::RegistryKey() const { return u"Software\\OstrelContract\\" + machine_->tag; }

std::optional<std::u16string> World::Registry(const RegistryValue& where) const
{
    wchar_t data[512];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, W(where.key), W(where.name), RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return U16(data);
}

bool World::WaitForRegistry(const RegistryValue& value) const
{
    for (DWORD waited = 0; waited < kServiceWaitMs; waited += 50) {
        if (Registry(value) == value.data) return true;
        Sleep(50);
    }
    return Registry(value) == value.data;
}

std::u16string World::ChildCommandLine(platform::DWORD exitCode)
{
    return u"\"" + ProgramPath() + u"\" " + U16(std::string(kExitArgument)) + u" " + Decimal(exitCode);
}

std::u16string World::AddService(platform::DWORD stopMilliseconds)
{
    const std::u16string name = u"OstrelContract-" + machine_->tag + u"-" + Decimal(machine_->services.size() + 1);
    const std::u16string command =
        u"\"" + ProgramPath() + u"\" " + U16(std::string(kServiceArgument)) + u" " + Decimal(stopMilliseconds);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager == nullptr
                            ? nullptr
                            : CreateServiceW(manager, W(name), W(name), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                             SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, W(command), nullptr, nullptr,
                                             nullptr, nullptr, nullptr);
    EXPECT_NE(service, nullptr) << "creating the service " << U8(name) << ": error " << GetLastError();
    if (service != nullptr) {
        machine_->services.push_back(name);
        CloseServiceHandle(service);
    }
    if (manager != nullptr) CloseServiceHandle(manager);
    return name;
}

bool World::WaitUntilRunning(const std::u16string& name, bool running)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager == nullptr ? nullptr : OpenServiceW(manager, W(name), SERVICE_QUERY_STATUS);
    const bool reached = service != nullptr && WaitForState(service, running ? SERVICE_RUNNING : SERVICE_STOPPED);
    if (service != nullptr) CloseServiceHandle(service);
    if (manager != nullptr) CloseServiceHandle(manager);
    return reached;
}

bool World::ServiceExists(const std::u16string& name) const
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager == nullptr ? nullptr : OpenServiceW(manager, W(name), SERVICE_QUERY_STATUS);
    const bool exists = service != nullptr || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
    if (service != nullptr) CloseServiceHandle(service);
    if (manager != nullptr) CloseServiceHandle(manager);
    return exists;
}

std::u16string World::AddDevice(const std::vector<std::u16string>& hardwareIds)
{
    std::u16string ids;
    for (const std::u16string& id : hardwareIds) ids += id + u'\0';
    ids += u'\0';
    HDEVINFO set = SetupDiCreateDeviceInfoList(Sdk(kContractClass), nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    wchar_t instance[MAX_DEVICE_ID_LEN] = L"";
    const bool made =
        set != INVALID_HANDLE_VALUE &&
        SetupDiCreateDeviceInfoW(set, reinterpret_cast<const wchar_t*>(kContractClassName), Sdk(kContractClass),
                                 nullptr, nullptr, DICD_GENERATE_ID, &device) &&
        SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids.data()),
                                          static_cast<DWORD>(ids.size() * sizeof(char16_t))) &&
        SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device) &&
        SetupDiGetDeviceInstanceIdW(set, &device, instance, MAX_DEVICE_ID_LEN, nullptr);
    EXPECT_TRUE(made) << "making a device: error 0x" << std::hex << GetLastError();
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    return U16(instance);
}

namespace {

// Runs `look` on the device with this instance ID; false when there is none.
template <typename Look>
bool WithDevice(const std::u16string& instanceId, Look look)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const bool found = SetupDiOpenDeviceInfoW(set, W(instanceId), nullptr, 0, &device) && look(set, device);
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

}  // namespace

bool World::DeviceExists(const std::u16string& instanceId) const
{
    return WithDevice(instanceId, [](HDEVINFO, SP_DEVINFO_DATA&) { return true; });
}

void World::DeletePackageAtEnd(const std::u16string& infPath) { machine_->packages.push_back(infPath); }

bool World::HasDriver(const std::u16string& instanceId) const
{
    return WithDevice(instanceId, [](HDEVINFO set, SP_DEVINFO_DATA& device) {
        wchar_t driver[256] = L"";
        return SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DRIVER, nullptr, reinterpret_cast<BYTE*>(driver),
                                                 sizeof driver, nullptr) &&
               driver[0] != L'\0';
    });
}

}  // namespace contract
