// The 32-bit program on 64-bit Windows: Windows refuses it device
// installation and device changes, and puts its files and registry values
// into the 32-bit views. So it hands the whole run to the 64-bit program
// beside it, and without one refuses the device actions itself.
#include <algorithm>
#include <iterator>

#include "app/hand_over.h"

#include "app/bitness.h"
#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/run_log.h"

namespace ostrel {

namespace {

constexpr char16_t kSiblingName[] = u"x64\\OstrelSetup.exe";

bool IsFile(const char16_t* path)
{
    const platform::DWORD attributes = platform::GetFileAttributesW(path);
    return attributes != platform::INVALID_FILE_ATTRIBUTES && (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A quiet child writes to the standard handles it is given; without any, it
// finds the console of its parent, which this process then has to be on.
void PrepareStandardHandles(const RunContext& run, platform::STARTUPINFOW& startup, platform::BOOL& inherit)
{
    const platform::HANDLE error = platform::GetStdHandle(platform::STD_ERROR_HANDLE);
    const platform::HANDLE output = platform::GetStdHandle(platform::STD_OUTPUT_HANDLE);
    if (error == nullptr && output == nullptr) {
        if (run.quiet) platform::AttachConsole(platform::ATTACH_PARENT_PROCESS);
        return;
    }
    startup.dwFlags |= platform::STARTF_USESTDHANDLES;
    startup.hStdInput = platform::GetStdHandle(platform::STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = error;
    inherit = platform::TRUE;
}

void TraceChildEnd(const RunContext& run, const char16_t* sibling, platform::DWORD code)
{
    run.Trace("handed over to ", sibling, ", which ended with exit code ", Decimal(code).c_str());
}

}  // namespace

// Never by the search path or the current folder.
bool BuildSiblingPath(SiblingPath& path)
{
    const platform::DWORD length =
        platform::GetModuleFileNameW(nullptr, path, static_cast<platform::DWORD>(kSiblingPathCapacity));
    if (length == 0 || length >= kSiblingPathCapacity) return false;
    std::size_t folderEnd = length;
    while (folderEnd > 0 && path[folderEnd - 1] != u'\\') --folderEnd;
    if (folderEnd == 0 || folderEnd + std::size(kSiblingName) > kSiblingPathCapacity) return false;
    std::copy(std::begin(kSiblingName), std::end(kSiblingName), path + folderEnd);
    return true;
}

Sibling LookForSibling(SiblingPath& path)
{
    platform::USHORT nativeMachine = platform::IMAGE_FILE_MACHINE_UNKNOWN;
    if (!RunsUnderWow64(nativeMachine) || !RunsX64Programs(nativeMachine)) return Sibling::NotNeeded;
    return BuildSiblingPath(path) && IsFile(path) ? Sibling::Found : Sibling::Missing;
}

// A line too long for Windows is refused here: cut short (as Wine does), its
// last argument would name another device, service or section.
Result ComposeChildCommandLine(Text& line, const char16_t* sibling, const char16_t* infPath, const char16_t* rest)
{
    line.clear();
    line.append(u'"');
    line.append(sibling);
    line.append("\" /f \"");
    line.append(infPath);
    line.append("\" ");
    line.append(rest);
    if (line.failed()) return Result::Failure(platform::ERROR_NOT_ENOUGH_MEMORY);
    if (line.size() > platform::MAX_COMMAND_LINE) return Result::Failure(platform::ERROR_FILENAME_EXCED_RANGE);
    return Result::Done();
}

Result HandOver(RunContext& run, const char16_t* sibling, const char16_t* commandLine)
{
    Text line;
    const Result composed = ComposeChildCommandLine(line, sibling, run.infPath, commandLine);
    if (composed.Failed()) return Report(run, composed, kMsgStart64BitProgramFailed, sibling);
    platform::STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    platform::BOOL inherit = platform::FALSE;
    PrepareStandardHandles(run, startup, inherit);
    platform::PROCESS_INFORMATION child{};
    // CreateProcessW may write into the command line it is given.
    if (!platform::CreateProcessW(sibling, const_cast<char16_t*>(line.c_str()), nullptr, nullptr, inherit, 0, nullptr,
                                  nullptr, &startup, &child))
        return Report(run, Result::LastError(), kMsgStart64BitProgramFailed, sibling);
    const platform::unique_kernel_handle process(child.hProcess);
    const platform::unique_kernel_handle thread(child.hThread);
    platform::DWORD code = platform::ERROR_INSTALL_FAILURE;
    if (platform::WaitForSingleObject(child.hProcess, platform::INFINITE) == platform::WAIT_FAILED ||
        !platform::GetExitCodeProcess(child.hProcess, &code))
        return Report(run, Result::LastError(), kMsgStart64BitProgramFailed, sibling);
    TraceChildEnd(run, sibling, code);
    run.outcome.RecordHandedOver(code);
    return Result::Done();
}

}  // namespace ostrel
