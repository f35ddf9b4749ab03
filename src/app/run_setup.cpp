#include <algorithm>
#include <string_view>

#include "app/application.h"
#include "app/setup_stages.h"
#include "app/usage_text.h"
#include "inf/inf.h"
#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr std::u16string_view kInfExtension = u".inf";

std::size_t LastDot(const char16_t* path, std::size_t length)
{
    for (std::size_t i = length; i > 0; --i) {
        if (path[i - 1] == u'.') return i - 1;
    }
    return length;
}

bool InfFileExists(const char16_t* infPath)
{
    return platform::GetFileAttributesW(infPath) != platform::INVALID_FILE_ATTRIBUTES;
}

void ShowInvalidCommandLine() { ShowCatalogueMessage(kMsgInvalidCommandLine, platform::MB_ICONERROR); }

}  // namespace

// A path without a dot gets ".inf" appended. A path cut short by the buffer,
// or one with no room left for ".inf", leaves InfPath empty rather than
// naming a wrong file.
void SetDefaultInfPath(InfPathBuffer& infPath)
{
    const platform::DWORD length =
        platform::GetModuleFileNameW(nullptr, infPath, static_cast<platform::DWORD>(kInfPathCapacity));
    const bool wholePath = length != 0 && length < kInfPathCapacity;
    const std::size_t dot = wholePath ? LastDot(infPath, length) : kInfPathCapacity;
    if (dot + kInfExtension.size() >= kInfPathCapacity) {
        infPath[0] = u'\0';
        return;
    }
    std::copy(kInfExtension.begin(), kInfExtension.end(), infPath + dot);
    infPath[dot + kInfExtension.size()] = u'\0';
}

void WalkArguments(const Action& action, const char16_t* first, const char16_t* infPath,
                   platform::BOOL* rebootNeeded)
{
    for (const char16_t* position = first; position != nullptr; position = NextToken(position)) {
        const char16_t* argument = CopyToken(position);
        if (argument == nullptr) {
            ShowInvalidCommandLine();
            return;
        }
        if (action.operation(infPath, argument, rebootNeeded) == 0) return;
    }
}

void RunAction(const char16_t* cursor, const char16_t* infPath, platform::BOOL* rebootNeeded)
{
    const Action* action = FindAction(cursor);
    if (action == nullptr) {
        if (*cursor == u'\0')
            RunDefaultInstall(infPath);
        else
            ShowInvalidCommandLine();
        return;
    }
    const char16_t* arguments = cursor + action->keyword.size();
    if (*arguments == u'\0') {
        ShowCatalogueMessage(action->emptyListMessage, platform::MB_ICONERROR);
        return;
    }
    WalkArguments(*action, arguments, infPath, rebootNeeded);
}

void RestartIfNeeded(platform::BOOL rebootNeeded, int rebootOption)
{
    if (rebootNeeded == platform::FALSE) return;
    if (rebootOption != 0)
        platform::SetupPromptReboot(nullptr, nullptr, platform::FALSE);
    else
        ShowCatalogueMessage(kMsgRebootRequired, platform::MB_ICONINFORMATION);
}

int COstrelSetupApp::RunSetup()
{
    InfPathBuffer infPath;
    SetDefaultInfPath(infPath);

    const char16_t* commandLine = CommandLine();
    if (EqualsWord(commandLine, u"help")) {
        ShowMessage(UsageText(), platform::MB_OK | platform::MB_ICONINFORMATION);
        return 0;
    }

    int rebootOption = 0;
    const char16_t* cursor = ReadOptions(commandLine, infPath, rebootOption);
    if (cursor == nullptr) return 0;

    if (!InfFileExists(infPath)) {
        ReportError(kMsgOpenInfFailed);
        return -1;
    }

    platform::BOOL rebootNeeded = platform::FALSE;
    RunAction(cursor, infPath, &rebootNeeded);
    RestartIfNeeded(rebootNeeded, rebootOption);
    return 0;
}

}  // namespace ostrel
