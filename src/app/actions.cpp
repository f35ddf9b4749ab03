#include "app/actions.h"

#include "app/command_line.h"
#include "device/device.h"
#include "inf/inf.h"
#include "messages/messages.h"
#include "service/service.h"

namespace ostrel {

namespace {

int StartNamed(const char16_t* /*infPath*/, const char16_t* name, platform::BOOL* /*rebootNeeded*/)
{
    return StartNamedService(name);
}

int StopNamed(const char16_t* /*infPath*/, const char16_t* name, platform::BOOL* /*rebootNeeded*/)
{
    return StopNamedService(name);
}

int RemoveNamed(const char16_t* /*infPath*/, const char16_t* name, platform::BOOL* /*rebootNeeded*/)
{
    return RemoveNamedService(name);
}

// Tried in this order; the first match wins.
constexpr Action kActions[] = {
    {u"install device ", InstallDevice, kMsgHardwareIdMissing},
    {u"remove device ", RemoveDevice, kMsgHardwareIdMissing},
    {u"disable device ", DisableDevice, kMsgHardwareIdMissing},
    {u"enable device ", EnableDevice, kMsgHardwareIdMissing},
    {u"stop service ", StopNamed, kMsgServiceNameMissing},
    {u"start service ", StartNamed, kMsgServiceNameMissing},
    {u"remove service ", RemoveNamed, kMsgServiceNameMissing},
    {u"install inf ", InstallInfSection, kMsgSectionNameMissing},
};

}  // namespace

const Action* FindAction(const char16_t* text)
{
    for (const Action& action : kActions) {
        if (StartsWithWord(text, action.keyword)) return &action;
    }
    return nullptr;
}

}  // namespace ostrel
