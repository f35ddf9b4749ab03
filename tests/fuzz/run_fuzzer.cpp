// The whole program, from its entry logic to its end, on a simulated machine
// that the input describes.
//
// Input: the command line, up to the first 0xFF byte, read as UTF-8 the
// lenient way the sim reads test literals (so any UTF-16 unit can be written,
// lone surrogates too); a NUL in it ends the line as it would on Windows.
// The bytes after the 0xFF describe the machine; where they run out, the
// machine is the ordinary one: the program (64-bit, on a visible desktop,
// without standard handles) and its INF file in C:\Tools, a stopped service
// for each of the names below, no devices, no faults.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

#include "app/application.h"
#include "fuzz_support.h"
#include "platform/sim/machine.h"

namespace {

using ostrel_fuzz::Require;
using namespace platform;  // NOLINT(google-build-using-namespace): Win32 names throughout

// The names the machine gives its services, sections, device models and
// hardware IDs, so that a command line can meet them.
const std::array<std::u16string, 4> kNames = {u"A", u"Alpha", u"ostrel\\widget", u"PCI\\VEN_8086&DEV_1234"};

constexpr GUID kInfClass{0x6F1E2D3C, 0x4B5A, 0x4C6D, {0x8E, 0x9F, 0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5}};
constexpr GUID kOtherClass{0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const std::u16string kOtherInf = u"C:\\x\\a.inf";

// Enough devices to meet every path of a device scan; with so few the
// scans, and so the run, always end.
constexpr std::uint8_t kMostDevices = 4;
constexpr std::uint16_t kMostPropertyBytes = 600;
constexpr std::uint16_t kMostSystemTextUnits = 1500;

// The calls a fault can hit. The releases are left out: a handle whose
// release the system refuses stays open whatever the program does.
const char* const kFallibleCalls[] = {
    "GetModuleFileNameW",
    "GetFileAttributesW",
    "SetThreadLocale",
    "GetLastError",
    "FormatMessageW",
    "LocalAlloc",
    "LoadLibraryExW",
    "GetProcAddress",
    "GetSystemDirectoryW",
    "SetDefaultDllDirectories",
    "lstrcpynW",
    "lstrlenW",
    "FindResourceW",
    "FindResourceExW",
    "LoadResource",
    "LockResource",
    "SizeofResource",
    "MessageBoxW",
    "ShellExecuteW",
    "SetupDiGetINFClassW",
    "SetupDiGetClassDevsW",
    "SetupDiCreateDeviceInfoList",
    "SetupDiEnumDeviceInfo",
    "SetupDiGetDeviceRegistryPropertyW",
    "SetupDiCreateDeviceInfoW",
    "SetupDiSetDeviceRegistryPropertyW",
    "SetupDiSetClassInstallParamsW",
    "SetupDiCallClassInstaller",
    "SetupDiRemoveDevice",
    "SetupDiGetDeviceInstallParamsW",
    "SetupOpenInfFileW",
    "SetupOpenFileQueue",
    "SetupInstallFilesFromInfSectionW",
    "SetupInitDefaultQueueCallback",
    "SetupCommitFileQueueW",
    "SetupInstallFromInfSectionW",
    "SetupPromptReboot",
    "OpenSCManagerW",
    "OpenServiceW",
    "StartServiceW",
    "ControlService",
    "DeleteService",
    "UpdateDriverForPlugAndPlayDevicesW",
    "SetupDiSetDeviceInstallParamsW",
    "SetupInitDefaultQueueCallbackEx",
    "SetupDiGetActualSectionToInstallW",
    "SetupInstallServicesFromInfSectionW",
    "GetProcessWindowStation",
    "GetUserObjectInformationW",
    "GetStdHandle",
    "AttachConsole",
    "GetConsoleMode",
    "WriteConsoleW",
    "CreateFileW",
    "WriteFile",
    "GetLocalTime",
    "IsWow64Process",
    "IsWow64Process2",
    "CreateProcessW",
    "WaitForSingleObject",
    "GetExitCodeProcess",
    "GetUserNameW",
    "OpenProcessToken",
    "GetTokenInformation",
    "LookupPrivilegeValueW",
    "AdjustTokenPrivileges",
    "InitiateSystemShutdownExW",
    "GetFileType",
    "GetFileInformationByHandle",
    "ReadFile",
    "SetFilePointerEx",
    "LockFileEx",
    "UnlockFileEx",
    "QueryServiceStatusEx",
    "GetFullPathNameW",
    "SetupDiGetDeviceInstanceIdW",
    "SetupDiOpenDevRegKey",
    "RegQueryValueExW",
    "SetupCopyOEMInfW",
    "SetupUninstallOEMInfW",
    "DiUninstallDriverW",
    "CM_Locate_DevNodeW",
    "CM_Reenumerate_DevNode",
    "CM_Get_DevNode_Status",
};

const DWORD kErrors[] = {
    ERROR_SUCCESS,
    ERROR_FILE_NOT_FOUND,
    ERROR_ACCESS_DENIED,
    ERROR_INVALID_HANDLE,
    ERROR_NOT_ENOUGH_MEMORY,
    ERROR_INVALID_PARAMETER,
    ERROR_INSUFFICIENT_BUFFER,
    ERROR_NO_MORE_ITEMS,
    ERROR_SERVICE_ALREADY_RUNNING,
    ERROR_SERVICE_NOT_ACTIVE,
    ERROR_SERVICE_MARKED_FOR_DELETE,
    ERROR_NO_SUCH_DEVINST,
    ERROR_IN_WOW64,
    ERROR_CANCELLED,
    0x80070005,
    0xDEADBEEF,
};

enum MachineFlag : std::uint32_t {
    kInfMissing = 1U << 0,
    kInfIsFolder = 1U << 1,
    kInfWithoutGuid = 1U << 2,
    kInfWithoutClassName = 1U << 3,
    kClassUnknown = 1U << 4,
    kNoNewDevLibrary = 1U << 5,
    kNoUpdateFunction = 1U << 6,
    kGermanUi = 1U << 7,
    kBeforeWindows8 = 1U << 8,
    kWholeLineGiven = 1U << 9,  // no program name put before the command line
    kProgramWithoutDot = 1U << 10,
    kInvisibleDesktop = 1U << 11,  // a service or a task in session 0
    kParentConsole = 1U << 12,
    kNotElevated = 1U << 13,
    kNoShutdownPrivilege = 1U << 14,
    kLogLockedAWhile = 1U << 15,  // another run holds C:\Tools\run.log's lock for 3 s
    // The INF file's package is staged, the present devices it has a model
    // for run its driver, and newdev.dll has DiUninstallDriverW.
    kPackageInUse = 1U << 16,
};

// What the program runs on: its own bitness, Windows's, and its 64-bit
// sibling beside it.
enum SystemFlag : std::uint8_t {
    k32BitProgram = 1U << 0,
    k32BitWindows = 1U << 1,
    kSiblingPresent = 1U << 2,
    kWithoutIsWow64Process2 = 1U << 3,
    // Bits 4 and 5: where the standard error handle leads.
};

DWORD AnyError(FuzzedDataProvider& in)
{
    return in.ConsumeBool() ? in.ConsumeIntegral<DWORD>() : in.PickValueInArray(kErrors);
}

std::u16string MultiStringOf(std::uint8_t nameMask)
{
    std::u16string data;
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if ((nameMask & (1U << i)) != 0) data += kNames[i] + u'\0';
    return data + u'\0';
}

// The program's folder: the ordinary one, or one that brings the program's
// path near the 260 units that the INF path is built in.
std::u16string ProgramFolder(FuzzedDataProvider& in)
{
    const auto padding = in.ConsumeIntegral<std::uint8_t>();
    return padding == 0 ? u"C:\\Tools" : u"C:\\" + std::u16string(padding, u'p');
}

sim::InfFile MakeInf(FuzzedDataProvider& in, std::uint32_t flags)
{
    sim::InfFile inf;
    if ((flags & kInfWithoutGuid) == 0) inf.classGuid = kInfClass;
    if ((flags & kInfWithoutClassName) == 0) inf.className = u"OstrelSample";
    for (const std::u16string& name : kNames) {
        const auto state = in.ConsumeIntegral<std::uint8_t>();
        if ((state & 0x1) != 0) continue;
        sim::InfSection& section = inf.sections[sim::FoldCase(name)];
        section.files = {u"C:\\windows\\OstrelSample\\" + name.substr(0, 1) + u".txt"};
        if ((state & 0x2) != 0) section.queueError = AnyError(in);
        if ((state & 0x4) != 0) section.copyError = AnyError(in);
        if ((state & 0x8) != 0) section.installError = AnyError(in);
        section.restartFlags = (state >> 4) & 0x3;
    }
    const auto models = in.ConsumeIntegral<std::uint8_t>();
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if ((models & (1U << i)) != 0) inf.models.insert(sim::FoldCase(kNames[i]));
    return inf;
}

void AddDevices(FuzzedDataProvider& in, sim::Machine& m)
{
    const auto count = in.ConsumeIntegralInRange<std::uint8_t>(0, kMostDevices);
    for (std::uint8_t i = 0; i < count; ++i) {
        const auto kind = in.ConsumeIntegral<std::uint8_t>();
        std::u16string ids;
        if ((kind & 0x1) != 0) {
            ids = ostrel_fuzz::Units(
                in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::uint16_t>(0, kMostPropertyBytes)));
        } else {
            ids = MultiStringOf(in.ConsumeIntegral<std::uint8_t>());
        }
        sim::Device& device =
            m.devices.AddRaw(u"ROOT\\FUZZ\\000" + sim::Number(i), (kind & 0x2) != 0 ? kOtherClass : kInfClass, ids);
        if ((kind & 0x4) != 0) device.hardwareIds.reset();
        device.present = (kind & 0x8) == 0;
        device.disabledInProfile = (kind & 0x10) != 0;
        device.flagsAfterChange = (kind & 0x20) != 0 ? DI_NEEDREBOOT : 0;
        device.betterDriverInPlace = (kind & 0x40) != 0;
        device.restartAfterDriverInstall = (kind & 0x80) != 0;
    }
}

// Returns whether the program can be told about its desktop: a fault on
// either call makes the run quiet.
bool DescribeMachine(FuzzedDataProvider& in, sim::Machine& m, std::uint32_t flags)
{
    const std::u16string folder = ProgramFolder(in);
    m.modulePath = folder + ((flags & kProgramWithoutDot) != 0 ? u"\\OstrelSetup" : u"\\OstrelSetup.exe");
    const std::u16string defaultInf = folder + u"\\OstrelSetup.inf";
    if ((flags & kInfIsFolder) != 0) {
        m.AddFolder(defaultInf);
    } else if ((flags & kInfMissing) == 0) {
        const sim::InfFile inf = MakeInf(in, flags);
        m.AddInf(defaultInf, inf);
        m.AddInf(kOtherInf, inf);
    }
    if ((flags & kClassUnknown) == 0) {
        sim::DeviceClass& deviceClass = m.devices.AddClass(kInfClass, u"OstrelSample");
        if (in.ConsumeBool()) deviceClass.propertyChangeRefusal = AnyError(in);
        if (in.ConsumeBool()) deviceClass.registrationRefusal = AnyError(in);
    }
    if ((flags & kNoNewDevLibrary) == 0) sim::AddNewDevLibrary(m, (flags & kNoUpdateFunction) == 0);
    m.uiLanguage = (flags & kGermanUi) != 0 ? 0x0C07 : 0x0409;
    m.hasSetDefaultDllDirectories = (flags & kBeforeWindows8) == 0;
    m.windowStationVisible = (flags & kInvisibleDesktop) == 0;
    m.parentHasConsole = (flags & kParentConsole) != 0;
    m.elevated = (flags & kNotElevated) == 0;
    m.holdsShutdownPrivilege = (flags & kNoShutdownPrivilege) == 0;

    const auto system = in.ConsumeIntegral<std::uint8_t>();
    m.processMachine = (system & k32BitProgram) != 0 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    m.nativeMachine = (system & k32BitWindows) != 0 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    m.devices.wow64 = m.processMachine != m.nativeMachine;
    m.hasIsWow64Process2 = (system & kWithoutIsWow64Process2) == 0;
    if ((system & kSiblingPresent) != 0) m.AddFile(folder + u"\\x64\\OstrelSetup.exe");
    m.stdError = static_cast<sim::StdTarget>((system >> 4) & 0x3);
    m.childExitCode = AnyError(in);

    for (const std::u16string& name : kNames) {
        const auto state = in.ConsumeIntegralInRange<std::uint8_t>(0, 3);
        if (state == 3) continue;
        m.services.Add(name, state == 1);
        sim::Service& service = *m.services.Find(name);
        service.markedForDelete = state == 2;
        // How it answers: at once, after a while, or never, in which case it
        // says so through a wait hint its checkpoint never keeps up with.
        const auto behaviour = in.ConsumeIntegral<std::uint8_t>();
        const platform::ULONGLONG delays[] = {0, 700, sim::kForever};
        service.startMs = delays[(behaviour & 0x3) % 3];
        service.stopMs = delays[((behaviour >> 2) & 0x3) % 3];
        service.waitHint =
            (behaviour & 0x10) != 0 || service.startMs == sim::kForever || service.stopMs == sim::kForever ? 2000 : 0;
        service.startFailure = (behaviour & 0x20) != 0 ? AnyError(in) : 0;
        service.acceptsStop = (behaviour & 0x40) == 0;
    }
    if ((flags & kLogLockedAWhile) != 0)
        m.fileLocks.push_back(sim::FileLock{m.FileIdentity(u"C:\\Tools\\run.log"), platform::ULONGLONG{1} << 62, 1,
                                            nullptr, m.tickCount + 3000});
    AddDevices(in, m);
    if ((flags & kPackageInUse) != 0 && (flags & (kInfMissing | kInfIsFolder)) == 0) {
        const sim::InfFile& inf = *m.infs.Find(defaultInf);
        const std::u16string published = m.devices.Stage(defaultInf);
        for (auto& [number, device] : m.devices.byDevInst)
            for (const std::u16string& model : inf.models)
                if (sim::MultiStringHolds(device.hardwareIds, model))
                    sim::DeviceTree::InstallDriver(device, defaultInf, published, inf);
        if ((flags & kNoNewDevLibrary) == 0) sim::AddUninstallDriver(m);
    }
    const auto shell = in.ConsumeIntegral<std::uint8_t>();
    m.shellResult = shell == 0 ? 42 : shell - 1;

    bool desktopKnown = true;
    const auto faults = in.ConsumeIntegralInRange<std::uint8_t>(0, 3);
    for (std::uint8_t i = 0; i < faults; ++i) {
        std::string function = in.PickValueInArray(kFallibleCalls);
        const auto callNumber = in.ConsumeIntegralInRange<unsigned>(0, 3);
        const sim::Fault fault = sim::Fault::Nth(std::move(function), callNumber, AnyError(in));
        desktopKnown = desktopKnown && fault.function != "GetProcessWindowStation" &&
                       fault.function != "GetUserObjectInformationW";
        m.FailCall(fault);
    }
    // A system text of any length, for any code.
    const DWORD code = AnyError(in);
    const auto units = in.ConsumeIntegralInRange<std::uint16_t>(0, kMostSystemTextUnits);
    if (units != 0) m.systemTexts[code] = ostrel_fuzz::Units(in.ConsumeBytes<std::uint8_t>(2U * units));
    return desktopKnown;
}

// The call log's arguments cost more than the rest of a run; a failed
// check prints the log, so a replay of a finding can ask for them.
bool RecordArguments()
{
    static const bool wanted = std::getenv("OSTREL_FUZZ_ARGUMENTS") != nullptr;
    return wanted;
}

std::size_t CountWords(const std::u16string& line)
{
    std::size_t words = 0;
    bool inWord = false;
    for (char16_t c : line) {
        if (c == u'\0') break;
        if (c != u' ' && !inWord) ++words;
        inWord = c != u' ';
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t* separator = std::find(data, data + size, 0xFF);
    const std::u16string arguments = sim::U16(std::string(data, separator));
    FuzzedDataProvider in(separator == data + size ? separator : separator + 1,
                          static_cast<std::size_t>(data + size - separator) - (separator == data + size ? 0 : 1));

    sim::Machine m;
    m.recordArguments = RecordArguments();
    const auto flags = in.ConsumeIntegral<std::uint32_t>();
    const bool desktopKnown = DescribeMachine(in, m, flags);
    m.commandLine = (flags & kWholeLineGiven) != 0 ? arguments : u"\"" + m.modulePath + u"\" " + arguments;

    const int exitCode = ostrel::RunApplication(ostrel::TheApp());

    // Only a quiet run, or one handed over to the 64-bit program, tells its
    // outcome by exit code; and nobody sees a box where no one can answer it,
    // or where the program cannot tell whether anyone can.
    if (!m.windowStationVisible) {
        Require(m.boxes.empty() && m.restartPrompts == 0, "nothing is shown on an invisible desktop", m.commandLine,
                &m);
    } else if (desktopKnown && sim::FoldCase(m.commandLine).find(u"/q") == std::u16string::npos &&
               m.processStarts.empty()) {
        Require(exitCode == 0, "an interactive run exits with 0", m.commandLine, &m);
    }
    Require(m.handles.OpenCount() == 0, "every handle the run opened is closed", m.commandLine, &m);
    Require(m.LiveAllocations() == 0, "no local memory is left allocated", m.commandLine, &m);
    // A device scan reports each matching device it fails on; everything
    // else stops at its first failure or shows one box per argument. The
    // words of the line bound the arguments from above.
    const bool scanned = m.CallCount("SetupDiGetClassDevsW") != 0;
    const std::size_t perArgument = scanned ? m.devices.byDevInst.size() + 1 : 1;
    Require(m.boxes.size() <= (CountWords(m.commandLine) + 1) * perArgument + 1,
            "at most one box per argument (per device in a scan) and the restart notice", m.commandLine, &m);
    for (const sim::MessageBoxRecord& box : m.boxes)
        Require(box.owner == nullptr && box.caption == u"Ostrel Setup Utility", "every box is the program's own",
                m.commandLine, &m);
    return 0;
}
