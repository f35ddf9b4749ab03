// The platform seam's conformance cases: written once against
// platform/platform.h, built twice, against the simulated machine (host,
// run by ctest) and against the Windows backend (run under Wine, and
// runnable on Windows itself).
//
// A case asks the World for what it needs of the machine (a folder, an INF
// file, a service, a device), makes the platform calls the program makes,
// with the arguments it makes them with, and checks the answers the program
// relies on. Where one side answers otherwise, the checks that differ go
// into a KnownDifference block that says which side is at fault and why.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace contract {

// A value no platform call leaves as the last error: seeded before a call
// whose success must leave the last error alone, or whose failure must set it.
constexpr platform::DWORD kSeed = 0xDEADBEEF;

// The device class of the suite's own devices: no real device has it, so a
// case may remove every device of the class.
inline const platform::GUID kContractClass = {
    0x0c7a91e3, 0x5f2d, 0x4e8b, {0xa4, 0x61, 0x3d, 0x92, 0x0b, 0x7e, 0x15, 0xc8}};
inline const char16_t kContractClassName[] = u"OstrelContract";
// A class every Windows knows by its name.
inline const platform::GUID kSystemClass = {
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Where the cases run.
enum class Side { simulatedMachine, windows };
Side ThisSide();
// True for the Windows backend when the system under it is Wine.
bool UnderWine();
// The suite's executable is also the test service of its cases, and the
// child process they start: with one of those arguments it serves until it
// is stopped, or ends at once, and answers its exit code; otherwise none.
std::optional<int> ServeIfAsked(int argc, char** argv);

// --- Known differences -----------------------------------------------------

// Who is at fault when the two sides answer differently.
enum class Fault {
    wine,              // Wine differs from Windows; docs/wine.md says how
    simulatedMachine,  // the simulated machine differs from Windows
};

// Runs `checks`. On the side at fault (Wine for Fault::wine, the simulated
// machine for Fault::simulatedMachine) they are expected to fail: their
// failures are noted, not counted, and the case fails if none of them does,
// since the difference is gone and the mark has gone stale. Elsewhere they
// run as any other check.
void KnownDifference(Fault fault, const char* why, const std::function<void()>& checks);

// Prints, when the run ends, how many cases passed and how many of them
// carry marks of each kind.
void AddSummaryPrinter();
// For the suite's own test of its marks: the running case counts as unmarked.
void ForgetMarksOfThisCase();

// --- What a case needs of the machine --------------------------------------

// A registry value that installing a section writes, under HKEY_CURRENT_USER.
struct RegistryValue {
    std::u16string key;  // e.g. Software\OstrelContract
    std::u16string name;
    std::u16string data;
};

// An install section as an INF file lists it.
struct InfSection {
    std::u16string name;
    // File names whose sources lie beside the INF file; the section copies
    // them into `destination` (a full path).
    std::vector<std::u16string> files;
    std::u16string destination;
    std::vector<RegistryValue> values;
};

// What an INF file says. The World writes it out as text for Windows and
// as the simulated machine's own description of it.
struct Inf {
    std::optional<std::u16string> className;
    std::optional<platform::GUID> classGuid;
    std::vector<InfSection> sections;
    // Hardware IDs the file has a driver for (a null driver of the class).
    std::vector<std::u16string> models;
};

// The machine a case runs on, made for it and tidied up after it: the
// simulated machine, fresh for every case, or the real one, where
// everything a case makes has a name of its own and is taken away again.
class World {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // The language of the user interface, which the language-neutral
    // resource lookup follows.
    platform::LANGID UiLanguage() const;

    // A folder of the case's own, empty at the start.
    std::u16string Folder() const;
    // The folder a relative path is taken from.
    std::u16string CurrentFolder() const;
    std::u16string PathIn(const std::u16string& name) const { return Folder() + u"\\" + name; }
    void WriteFile(const std::u16string& path, const std::string& bytes);
    void MakeFolder(const std::u16string& path);
    bool Exists(const std::u16string& path) const;
    std::string Contents(const std::u16string& path) const;
    void WriteInf(const std::u16string& path, const Inf& inf);
    // A registry key of the case's own under HKEY_CURRENT_USER, for the
    // values its sections write.
    std::u16string RegistryKey() const;
    // The value a section install wrote, if any.
    std::optional<std::u16string> Registry(const RegistryValue& where) const;
    // Waits a while for a value that something started on the case's behalf
    // writes; whether it came, with that data.
    bool WaitForRegistry(const RegistryValue& value) const;

    // A stopped service of the case's own, under a name of its own (the name
    // is returned). It runs until it is asked to stop; then it reports
    // STOP_PENDING for `stopMilliseconds`, with a wait hint and a checkpoint
    // that moves on every quarter of a second, before it stops.
    std::u16string AddService(platform::DWORD stopMilliseconds = 0);
    // Waits for a service that was asked to start or stop to get there.
    bool WaitUntilRunning(const std::u16string& name, bool running);
    bool ServiceExists(const std::u16string& name) const;

    // The command line of a child process that ends with this exit code.
    std::u16string ChildCommandLine(platform::DWORD exitCode);

    // A root-enumerated, registered (so present) device of the contract
    // class with these hardware IDs; its instance ID.
    std::u16string AddDevice(const std::vector<std::u16string>& hardwareIds);
    bool DeviceExists(const std::u16string& instanceId) const;
    // The case may stage this INF file's package in the driver store: it is
    // deleted from the store again when the case ends.
    void DeletePackageAtEnd(const std::u16string& infPath);
    // Whether a driver has been installed on the device.
    bool HasDriver(const std::u16string& instanceId) const;

    struct Machine;

private:
    std::unique_ptr<Machine> machine_;
};

// The fixture of every case: a World of its own, and the last error seeded.
class Case : public ::testing::Test {
protected:
    Case() { platform::SetLastError(kSeed); }

    // The last error, read once; then seeded again for the next call.
    static platform::DWORD TakeLastError()
    {
        const platform::DWORD error = platform::GetLastError();
        platform::SetLastError(kSeed);
        return error;
    }

    World world;
};

// Prints a table row as its name (each case file says: using contract::operator<<).
template <typename Row>
auto operator<<(std::ostream& out, const Row& row) -> decltype(row.name, out)
{
    return out << row.name;
}

// Names each case of a parameterised test after its table row's `name`.
struct CaseName {
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const
    {
        return std::string(info.param.name);
    }
};

// UTF-16 to UTF-8, for readable failure messages.
std::string U8(const std::u16string& text);
inline std::string U8(const char16_t* text) { return text == nullptr ? "(null)" : U8(std::u16string(text)); }

}  // namespace contract
