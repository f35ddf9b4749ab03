// "query device": what the present devices of the INF file's class that
// list a hardware ID are and which driver they run, in a box for a person
// and as tab-separated lines for a detection script.

#include <iterator>

#include "base/numbers.h"
#include "device/device.h"
#include "device/device_scan.h"
#include "device/driver_store.h"
#include "device/pending_installations.h"
#include "device/system_library.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "run/action_words.h"

namespace ostrel {

namespace {

// The words of kMsgQueryWords, one a line, in this order.
enum QueryWord : unsigned {
    kStarted,
    kDisabled,
    kProblem,
    kNotStarted,
    kUnknownState,
    kThisPackage,
    kOtherPackage,
    kNoDriver,
};

// The states as the quiet output gives them: scripts read them, so they
// never change with the language.
constexpr const char16_t* kStateTokens[] = {u"started", u"disabled", u"problem", u"not started", u"unknown"};

constexpr char16_t kHeader[] =
    u"HardwareId\tInstanceId\tState\tProblem\tProblemName\tInf\tProvider\tVersion\tDate\tThisPackage";

// The values of the driver key the query shows, in the columns' order.
constexpr const char16_t* kDriverValues[] = {u"InfPath", u"ProviderName", u"DriverVersion", u"DriverDate"};
constexpr std::size_t kValueUnits = 128;

// How many devices one box lists; "... and N more." stands for the rest.
constexpr unsigned kBoxDevices = 10;

// The CM_PROB_ names without their prefix, for the codes from 1 on.
constexpr char kProblemNames[] =
    "NOT_CONFIGURED\0"
    "DEVLOADER_FAILED\0"
    "OUT_OF_MEMORY\0"
    "ENTRY_IS_WRONG_TYPE\0"
    "LACKED_ARBITRATOR\0"
    "BOOT_CONFIG_CONFLICT\0"
    "FAILED_FILTER\0"
    "DEVLOADER_NOT_FOUND\0"
    "INVALID_DATA\0"
    "FAILED_START\0"
    "LIAR\0"
    "NORMAL_CONFLICT\0"
    "NOT_VERIFIED\0"
    "NEED_RESTART\0"
    "REENUMERATION\0"
    "PARTIAL_LOG_CONF\0"
    "UNKNOWN_RESOURCE\0"
    "REINSTALL\0"
    "REGISTRY\0"
    "VXDLDR\0"
    "WILL_BE_REMOVED\0"
    "DISABLED\0"
    "DEVLOADER_NOT_READY\0"
    "DEVICE_NOT_THERE\0"
    "MOVED\0"
    "TOO_EARLY\0"
    "NO_VALID_LOG_CONF\0"
    "FAILED_INSTALL\0"
    "HARDWARE_DISABLED\0"
    "CANT_SHARE_IRQ\0"
    "FAILED_ADD\0"
    "DISABLED_SERVICE\0"
    "TRANSLATION_FAILED\0"
    "NO_SOFTCONFIG\0"
    "BIOS_TABLE\0"
    "IRQ_TRANSLATION_FAILED\0"
    "FAILED_DRIVER_ENTRY\0"
    "DRIVER_FAILED_PRIOR_UNLOAD\0"
    "DRIVER_FAILED_LOAD\0"
    "DRIVER_SERVICE_KEY_INVALID\0"
    "LEGACY_SERVICE_NO_DEVICES\0"
    "DUPLICATE_DEVICE\0"
    "FAILED_POST_START\0"
    "HALTED\0"
    "PHANTOM\0"
    "SYSTEM_SHUTDOWN\0"
    "HELD_FOR_EJECT\0"
    "DRIVER_BLOCKED\0"
    "REGISTRY_TOO_LARGE\0"
    "SETPROPERTIES_FAILED\0"
    "WAITING_ON_DEPENDENCY\0"
    "UNSIGNED_DRIVER\0"
    "USED_BY_DEBUGGER\0"
    "DEVICE_RESET\0"
    "CONSOLE_LOCKED\0"
    "NEED_CLASS_CONFIG\0"
    "GUEST_ASSIGNMENT_FAILED\0";

struct DeviceFacts {
    char16_t instanceId[platform::MAX_DEVICE_ID_LEN] = {};
    QueryWord state = kUnknownState;
    platform::ULONG problem = 0;  // with kDisabled and kProblem
    char16_t values[std::size(kDriverValues)][kValueUnits] = {};
    bool thisPackage = false;

    bool HasDriver() const { return values[0][0] != u'\0'; }
};

void AppendProblemName(Text& text, platform::ULONG code)
{
    const char* name = kProblemNames;
    for (platform::ULONG skip = code; skip > 1 && *name != '\0'; --skip)
        while (*name++ != '\0') {
        }
    if (code == 0 || *name == '\0') return;
    text.append("CM_PROB_");
    for (; *name != '\0'; ++name) text.append(static_cast<char16_t>(*name));
}

bool SameName(const char16_t* a, const char16_t* b)
{
    for (; *a != u'\0' && FoldLetter(*a) == FoldLetter(*b); ++a, ++b) {
    }
    return *a == *b;
}

QueryWord StateOf(platform::FARPROC status, platform::DWORD devInst, platform::ULONG& problem)
{
    platform::ULONG bits = 0;
    if (status == nullptr || reinterpret_cast<platform::CM_Get_DevNode_StatusFn>(status)(&bits, &problem, devInst, 0) !=
                                 platform::CR_SUCCESS)
        return kUnknownState;
    if ((bits & platform::DN_HAS_PROBLEM) != 0) return problem == platform::CM_PROB_DISABLED ? kDisabled : kProblem;
    problem = 0;
    return (bits & platform::DN_STARTED) != 0 ? kStarted : kNotStarted;
}

// Each value read into memory that keeps its last unit for the terminator,
// which the registry does not promise.
void ReadFacts(DeviceScan& scan, platform::FARPROC status, const DriverPackage& package, DeviceFacts& facts)
{
    if (!platform::SetupDiGetDeviceInstanceIdW(scan.Set(), &scan.Device(), facts.instanceId,
                                               platform::MAX_DEVICE_ID_LEN, nullptr))
        facts.instanceId[0] = u'\0';
    facts.state = StateOf(status, scan.Device().DevInst, facts.problem);
    const platform::unique_registry_key key(platform::SetupDiOpenDevRegKey(
        scan.Set(), &scan.Device(), platform::DICS_FLAG_GLOBAL, 0, platform::DIREG_DRV, platform::KEY_READ));
    for (std::size_t i = 0; key && i < std::size(kDriverValues); ++i) {
        platform::DWORD type = 0;
        platform::DWORD bytes = (kValueUnits - 1) * sizeof(char16_t);
        if (platform::RegQueryValueExW(key.get(), kDriverValues[i], nullptr, &type,
                                       reinterpret_cast<platform::BYTE*>(facts.values[i]),
                                       &bytes) != static_cast<platform::LONG>(platform::ERROR_SUCCESS) ||
            type != platform::REG_SZ)
            facts.values[i][0] = u'\0';
    }
    facts.thisPackage = facts.HasDriver() && package.published[0] != u'\0' && SameName(facts.values[0], package.Name());
}

// The columns of a quiet run's line, which the log has too: the inserts
// %1 to %A of kLine, in this order.
enum Column : unsigned {
    kHardwareId,
    kInstanceId,
    kState,
    kProblemCode,
    kProblemName,
    kDriverValue,  // and the three after it
    kIsThisPackage = kDriverValue + std::size(kDriverValues),
    kColumns,
};
constexpr char kLine[] = "%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\t%A";
static_assert(kColumns == 10, "kLine has a placeholder for each column");

void AppendWord(Text& text, const Text& words, QueryWord word)
{
    const char16_t* start = words.c_str();
    for (unsigned skip = word; skip > 0 && *start != u'\0'; --skip)
        while (*start != u'\0' && *start++ != u'\n') {
        }
    std::size_t length = 0;
    while (start[length] != u'\0' && start[length] != u'\n') ++length;
    text.append(start, length);
}

// "ROOT\OSTRELSAMPLE\0000: started, oem5.inf, Ostrel, 1.0.0.0, 12-1-2026,
// this package", from the columns and the words of the run's language.
void AppendBoxLine(Text& box, const Text& words, const DeviceFacts& facts, const char16_t* const (&columns)[kColumns])
{
    box.append(u'\n');
    box.append(facts.instanceId);
    box.append(": ");
    AppendWord(box, words, facts.state);
    for (unsigned column = kProblemCode; column < kIsThisPackage; ++column) {
        if (*columns[column] == u'\0') continue;
        box.append(column < kDriverValue ? u" " : u", ");
        box.append(columns[column]);
    }
    box.append(", ");
    AppendWord(box, words, !facts.HasDriver() ? kNoDriver : facts.thisPackage ? kThisPackage : kOtherPackage);
}

}  // namespace

Result BeginQuery(RunContext& run)
{
    const Result waited = WaitBeforeDeviceAction(run);
    if (!waited.Failed() && run.quiet) WriteOutput(kHeader);
    return waited;
}

// The package is looked up first: whether a device runs this INF file's
// driver is whether its driver key names the package's published name.
Result QueryDevice(RunContext& run, const char16_t* hardwareId)
{
    DriverPackage package;
    const Result looked = FindInStore(run, package);
    if (looked.Failed()) return looked;
    platform::unique_library cfgmgr;
    platform::FARPROC status = nullptr;
    if (FindSystemFunction(kConfigManagerLibrary, cfgmgr, "CM_Get_DevNode_Status", status).Failed()) status = nullptr;
    DeviceScan scan(run, kQueryDeviceWord, hardwareId);
    const Result opened = scan.Open();
    if (opened.Failed()) return opened;

    Text out;  // the box, or the quiet output's lines
    Text words;
    if (!run.quiet) {
        FormatCatalogueMessage(out, kMsgQueryDevices, hardwareId);
        static_cast<void>(LoadCatalogueText(kMsgQueryWords, words));
    }
    unsigned listed = 0;
    bool started = false;  // a device started with this package's driver
    bool ours = false;     // a device with this package's driver
    Text line;
    line.append(kLine);
    while (scan.Next()) {
        DeviceFacts facts;
        ReadFacts(scan, status, package, facts);
        started = started || (facts.thisPackage && facts.state == kStarted);
        ours = ours || facts.thisPackage;
        const Digits code(facts.problem);
        Text problemName;
        AppendProblemName(problemName, facts.problem);
        const char16_t* const columns[kColumns] = {hardwareId,
                                                   facts.instanceId,
                                                   kStateTokens[facts.state],
                                                   facts.problem != 0 ? code.c_str() : u"",
                                                   problemName.c_str(),
                                                   facts.values[0],
                                                   facts.values[1],
                                                   facts.values[2],
                                                   facts.values[3],
                                                   facts.thisPackage ? u"yes" : u"no"};
        Text filled;
        FillPlaceholders(filled, line, columns, kColumns);
        run.Trace(kQueryDeviceWord, filled.c_str());
        if (run.quiet) {
            if (!out.empty()) out.append(u'\n');
            out.append(filled.c_str());
        } else if (listed++ < kBoxDevices) {
            AppendBoxLine(out, words, facts, columns);
        }
    }
    const Result finished = scan.Finish();
    // A scan that broke off has said so, and has not seen every device: no
    // answer for the ID, neither a list nor "no device".
    if (scan.BrokeOff()) return finished;
    if (finished.IsNothingFound()) {
        out.clear();
        if (run.quiet) {
            out.append(hardwareId);
            out.append("\t\tabsent\t\t\t\t\t\t\tno");
        } else {
            FormatCatalogueMessage(out, kMsgQueryNoDevice, hardwareId);
        }
    } else if (listed > kBoxDevices) {
        out.append(u'\n');
        FormatCatalogueMessage(out, kMsgQueryMore, Decimal(listed - kBoxDevices).c_str());
    }
    if (run.quiet)
        WriteOutput(out.c_str());
    else
        ShowMessage(run, out.c_str(), platform::MB_OK | platform::MB_ICONINFORMATION);
    run.outcome.RecordAnswer(finished.IsNothingFound() ? kQueryNoDevice
                             : started                 ? platform::ERROR_SUCCESS
                             : ours                    ? kQueryNotStarted
                                                       : kQueryOtherDriver);
    return finished;
}

}  // namespace ostrel
