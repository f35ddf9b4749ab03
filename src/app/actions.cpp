#include "app/actions.h"

#include <algorithm>
#include <iterator>

#include "app/command_line.h"
#include "device/device.h"
#include "device/pending_installations.h"
#include "inf/inf.h"
#include "messages/messages.h"
#include "run/action_words.h"
#include "service/service.h"

namespace ostrel {

namespace {

// Tried in this order; the first match wins.
constexpr Action kActions[] = {
    {kInstallDeviceWord, InstallDevice, kMsgHardwareIdMissing, true, WaitBeforeDeviceAction, WaitAfterInstall},
    {kRemoveDeviceWord, RemoveDevice, kMsgHardwareIdMissing, true, WaitBeforeDeviceAction},
    {kDisableDeviceWord, DisableDevice, kMsgHardwareIdMissing, true, WaitBeforeDeviceAction},
    {kEnableDeviceWord, EnableDevice, kMsgHardwareIdMissing, true, WaitBeforeDeviceAction},
    {kStopServiceWord, StopNamedService, kMsgServiceNameMissing, false},
    {kStartServiceWord, StartNamedService, kMsgServiceNameMissing, false},
    {kRemoveServiceWord, RemoveNamedService, kMsgServiceNameMissing, false},
    {kInstallInfWord, InstallInfSection, kMsgSectionNameMissing, false},
    {"add driver", AddDriver, 0, true},
    {"delete driver", DeleteDriver, 0, true, WaitBeforeDeviceAction},
    {kQueryDeviceWord, QueryDevice, kMsgHardwareIdMissing, true, BeginQuery},
    {kRestartDeviceWord, RestartDevice, kMsgHardwareIdMissing, true, WaitBeforeDeviceAction},
    {"rescan", Rescan, 0, true, nullptr, WaitAfterRescan},
};

// The keyword of an action without arguments is a whole word.
bool Matches(const char16_t* text, const Action& action)
{
    if (!StartsWithWord(text, action.keyword)) return false;
    const char16_t next = text[action.keyword.size()];
    return action.TakesArguments() || next == u'\0' || next == kBlank;
}

}  // namespace

const Action* FindAction(const char16_t* text)
{
    const auto* found = std::find_if(std::begin(kActions), std::end(kActions),
                                     [text](const Action& action) { return Matches(text, action); });
    return found == std::end(kActions) ? nullptr : found;
}

}  // namespace ostrel
