// "add driver" and "delete driver": the INF file's package in and out of
// the driver store, where Windows takes a driver from when a device arrives.

#include "device/driver_store.h"

#include "device/device.h"
#include "device/system_library.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "run/output.h"

namespace ostrel {

const char16_t* DriverPackage::Name() const
{
    const char16_t* name = published;
    for (const char16_t* c = published; *c != u'\0'; ++c)
        if (*c == u'\\') name = c + 1;
    return name;
}

// SetupCopyOEMInfW wants a full path: a relative "/f" name would be looked
// for in the INF folder.
Result CopyToStore(const RunContext& run, DriverPackage& package, platform::DWORD style)
{
    package.published[0] = u'\0';
    const platform::DWORD length = platform::GetFullPathNameW(run.infPath, platform::MAX_PATH, package.inf, nullptr);
    if (length == 0) return Result::LastError();
    if (length >= platform::MAX_PATH) return Result::Failure(platform::ERROR_FILENAME_EXCED_RANGE);
    if (platform::SetupCopyOEMInfW(package.inf, nullptr, platform::SPOST_PATH, style, package.published,
                                   platform::MAX_PATH, nullptr, nullptr))
        return Result::Done();
    const Result refused = Result::LastError();
    if (refused.Error() == platform::ERROR_FILE_EXISTS && package.published[0] != u'\0') return Result::Unchanged();
    package.published[0] = u'\0';
    return refused;
}

void WriteOutput(const char16_t* text) { StandardStream(platform::STD_OUTPUT_HANDLE).WriteEntry(text); }

// Only a package staged already is copied (REPLACEONLY), and one staged
// already is not (NOOVERWRITE) but named: so Windows names it and stages
// nothing. A system that ignores REPLACEONLY stages it and names it too.
Result FindInStore(RunContext& run, DriverPackage& package)
{
    const Result found = CopyToStore(run, package, platform::SP_COPY_REPLACEONLY | platform::SP_COPY_NOOVERWRITE);
    if (!found.Failed()) return Result::Done();
    if (found.Error() == platform::ERROR_FILE_NOT_FOUND) return Result::NothingFound();
    return Report(run, found, kMsgLookUpDriverFailed, run.infPath);
}

namespace {

// What became of the package: the result, the end of the log line, and the
// message of a failure (0 for none).
struct Deletion {
    Result result;
    const char* what;
    unsigned message;
};

// A package that devices use: DiUninstallDriverW moves them to their next
// best driver (or none) before it takes the package out; without it (before
// Windows 10 1703) the devices have to go first.
Deletion Uninstall(RunContext& run, const DriverPackage& package)
{
    if (platform::SetupUninstallOEMInfW(package.Name(), 0, nullptr))
        return {Result::Done(), " deleted from the driver store", 0};
    const Result refused = Result::LastError();
    if (refused.Error() != platform::ERROR_INF_IN_USE_BY_DEVICES) return {refused, ": failed", kMsgDeleteDriverFailed};
    platform::unique_library newdev;
    platform::FARPROC function = nullptr;
    if (FindSystemFunction(kNewDevLibrary, newdev, "DiUninstallDriverW", function).Failed())
        return {refused, " is in use by devices, and there is no DiUninstallDriverW", kMsgDriverInUse};
    platform::BOOL restart = platform::FALSE;
    if (!reinterpret_cast<platform::DiUninstallDriverWFn>(function)(nullptr, package.published, 0, &restart))
        return {Result::LastError(), ": failed", kMsgDeleteDriverFailed};
    if (restart != platform::FALSE) run.outcome.RecordRestartNeeded();
    return {Result::Done(), " taken off its devices and out of the driver store", 0};
}

}  // namespace

Result AddDriver(RunContext& run, const char16_t* /*unused*/)
{
    DriverPackage package;
    const Result staged = CopyToStore(run, package, platform::SP_COPY_NOOVERWRITE);
    if (staged.Failed()) {
        run.Trace("add driver: failed");
        return Report(run, staged, kMsgAddDriverFailed, run.infPath);
    }
    run.Trace("add driver: ", staged.IsUnchanged() ? "already in the driver store as " : "staged as ", package.Name());
    if (run.quiet) WriteOutput(package.Name());
    return staged;
}

Result DeleteDriver(RunContext& run, const char16_t* /*unused*/)
{
    DriverPackage package;
    const Result found = FindInStore(run, package);
    if (found.Failed()) return found;
    if (found.IsNothingFound()) {
        run.Trace("delete driver: ", package.Name(), "not in the driver store");
        return Result::Unchanged();
    }
    const Deletion deletion = Uninstall(run, package);
    run.Trace("delete driver: ", package.Name(), deletion.what);
    return deletion.message == 0 ? deletion.result : Report(run, deletion.result, deletion.message, package.Name());
}

}  // namespace ostrel
