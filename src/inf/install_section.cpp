// "install inf": one named section of the INF file, its files through a file
// queue committed with the platform's default progress and prompts, then the
// rest of its directives, then a quiet scan for a restart the copies need.
#include "inf/inf.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

using platform::BOOL;
using platform::HINF;
using platform::HSPFILEQ;
using platform::UINT;

// Neither skip a file nor browse for another source: a section installs
// whole or reports why not.
constexpr UINT kCopyFlags = platform::SP_COPY_NOSKIP | platform::SP_COPY_NOBROWSE;

// Everything but the files, which the queue has already carried out; neither
// the INF file itself nor device properties are installed.
constexpr UINT kInstallFlags = platform::SPINST_LOGCONFIG | platform::SPINST_INIFILES | platform::SPINST_REGISTRY |
                               platform::SPINST_INI2REG | platform::SPINST_BITREG | platform::SPINST_REGSVR |
                               platform::SPINST_UNREGSVR | platform::SPINST_PROFILEITEMS;
static_assert(kInstallFlags == 0x1EF, "all install flags but SPINST_FILES, SPINST_COPYINF, SPINST_PROPERTIES");

// Only the non-file directives see this root; the files have their source in
// the INF file's own folder.
constexpr char16_t kSourceRoot[] = u"A:\\";

// Commits the queue with the default callback, then installs the rest of the
// section. 1 when both worked; otherwise the failure has been reported.
int CommitAndInstallRest(HINF inf, HSPFILEQ queue, const char16_t* sectionName)
{
    platform::unique_queue_callback_context context(platform::SetupInitDefaultQueueCallback(nullptr));
    // Without a context the default callback has nothing to work with: the
    // queue cannot be carried out, so it is not tried.
    if (!context) return ReportError(kMsgCommitQueueFailed);
    if (!platform::SetupCommitFileQueueW(nullptr, queue, platform::SetupDefaultQueueCallbackW, context.get()))
        return ReportError(kMsgCommitQueueFailed);
    if (!platform::SetupInstallFromInfSectionW(nullptr, inf, sectionName, kInstallFlags, nullptr, kSourceRoot, 0,
                                               nullptr, nullptr, nullptr, nullptr))
        return ReportError(kMsgInstallSectionFailed);
    return 1;
}

int InstallThroughQueue(HINF inf, HSPFILEQ queue, const char16_t* sectionName)
{
    if (!platform::SetupInstallFilesFromInfSectionW(inf, nullptr, queue, sectionName, nullptr, kCopyFlags))
        return ReportError(kMsgInstallFilesFailed);
    return CommitAndInstallRest(inf, queue, sectionName);
}

// Asks nobody; a failed scan (-1) is passed over, and the flag is never
// cleared here, so an earlier section's restart stays recorded.
void RecordNeededRestart(HSPFILEQ queue, BOOL* rebootNeeded)
{
    const int scan = platform::SetupPromptReboot(queue, nullptr, platform::TRUE);
    if (scan != -1 && (scan & platform::SPFILEQ_REBOOT_RECOMMENDED) != 0 && rebootNeeded != nullptr)
        *rebootNeeded = platform::TRUE;
}

}  // namespace

int InstallInfSection(const char16_t* infPath, const char16_t* sectionName, BOOL* rebootNeeded)
{
    UINT errorLine = 0;
    platform::unique_inf_file inf(
        platform::SetupOpenInfFileW(infPath, nullptr, platform::INF_STYLE_WIN4, &errorLine));
    if (!inf) return ReportError(kMsgOpenInfFailed);
    platform::unique_file_queue queue(platform::SetupOpenFileQueue());
    if (!queue) return ReportError(kMsgOpenFileQueueFailed);

    const int result = InstallThroughQueue(inf.get(), queue.get(), sectionName);
    // A commit that failed part of the way may still have replaced files in use.
    RecordNeededRestart(queue.get(), rebootNeeded);
    return result;
}

}  // namespace ostrel
