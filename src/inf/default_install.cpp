#include <cstdint>

#include "inf/inf.h"
#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

// The shell answers with a value above 32 on success, else an error code
// from 0 to 32; only the low 32 bits carry it.
constexpr std::int32_t kLastShellError = 32;

platform::HRESULT HResultFromWin32(std::int32_t code)
{
    if (code <= 0) return code;
    return static_cast<platform::HRESULT>((static_cast<std::uint32_t>(code) & 0xFFFFU) | 0x80070000U);
}

// kMsgInstallFailed with the HRESULT's text. The error object, and the text it owns,
// are gone before the caller shows the box.
Text ComposeInstallFailure(platform::HRESULT hr)
{
    HResultError error(hr);
    Text message;
    FormatCatalogueMessage(message, kMsgInstallFailed, error.GetHResultText());
    return message;
}

}  // namespace

Result RunDefaultInstall(RunContext& run)
{
    if (run.quiet) return InstallDefaultSection(run);
    const platform::HINSTANCE answer =
        platform::ShellExecuteW(nullptr, u"install", run.infPath, nullptr, nullptr, platform::SW_SHOWNORMAL);
    const auto result = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(answer));
    if (result > kLastShellError) {
        run.Trace("default installation: handed to the shell's install verb");
        return Result::Done();
    }
    const platform::HRESULT hr = HResultFromWin32(result);
    const Text message = ComposeInstallFailure(hr);
    return ReportText(run, Result::Failure(static_cast<platform::DWORD>(hr)), message.c_str());
}

}  // namespace ostrel
