// "rescan": Plug and Play looks for hardware changes from the root of the
// device tree, as Device Manager's "Scan for hardware changes" does.

#include "base/numbers.h"
#include "device/device.h"
#include "device/system_library.h"
#include "messages/messages.h"

namespace ostrel {

namespace {

// The configuration manager answers a CONFIGRET, not a Win32 error; a
// report needs one. The rest have no Win32 error of their own.
platform::DWORD ErrorOfConfigRet(platform::CONFIGRET answer)
{
    struct Pair {
        platform::CONFIGRET answer;
        platform::DWORD error;
    };
    static constexpr Pair kErrors[] = {{platform::CR_OUT_OF_MEMORY, platform::ERROR_NOT_ENOUGH_MEMORY},
                                       {platform::CR_NO_SUCH_DEVNODE, platform::ERROR_NO_SUCH_DEVINST},
                                       {platform::CR_ACCESS_DENIED, platform::ERROR_ACCESS_DENIED},
                                       {platform::CR_CALL_NOT_IMPLEMENTED, platform::ERROR_CALL_NOT_IMPLEMENTED}};
    for (const Pair& pair : kErrors)
        if (pair.answer == answer) return pair.error;
    return platform::ERROR_GEN_FAILURE;
}

}  // namespace

Result Rescan(RunContext& run, const char16_t* /*unused*/)
{
    platform::unique_library cfgmgr;
    platform::FARPROC locate = nullptr;
    platform::FARPROC reenumerate = nullptr;
    Result found = FindSystemFunction(kConfigManagerLibrary, cfgmgr, "CM_Locate_DevNodeW", locate);
    if (!found.Failed())
        found = FindSystemFunction(kConfigManagerLibrary, cfgmgr, "CM_Reenumerate_DevNode", reenumerate);
    if (found.Failed()) {
        run.Trace("rescan: failed");
        return Report(run, found, kMsgRescanFailed);
    }
    platform::DWORD root = 0;
    const char* call = "CM_Locate_DevNodeW";
    platform::CONFIGRET answer =
        reinterpret_cast<platform::CM_Locate_DevNodeWFn>(locate)(&root, nullptr, platform::CM_LOCATE_DEVNODE_NORMAL);
    if (answer == platform::CR_SUCCESS) {
        call = "CM_Reenumerate_DevNode";
        answer = reinterpret_cast<platform::CM_Reenumerate_DevNodeFn>(reenumerate)(
            root, platform::CM_REENUMERATE_SYNCHRONOUS);
    }
    if (answer != platform::CR_SUCCESS) {
        run.Trace("rescan: failed, ", call, " answered CONFIGRET ", Decimal(answer).c_str());
        return Report(run, Result::Failure(ErrorOfConfigRet(answer)), kMsgRescanFailed);
    }
    run.Trace("rescan: done");
    return Result::Done();
}

}  // namespace ostrel
