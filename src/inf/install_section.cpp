// Installing INF sections: the files through a file queue committed with the
// platform's default progress and prompts (or, in a quiet run, without any
// window), then the rest of the section's directives, then a scan for a
// restart the copies need.
#include "inf/inf.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/action_words.h"

namespace ostrel {

namespace {

using platform::HINF;
using platform::HSPFILEQ;
using platform::UINT;
using platform::UINT_PTR;

// Neither skip a file nor browse for another source: a section installs
// whole or reports why not.
constexpr UINT kCopyFlags = platform::SP_COPY_NOSKIP | platform::SP_COPY_NOBROWSE;

// Everything but the files, which the queue has already carried out; neither
// the INF file itself nor device properties are installed.
constexpr UINT kSectionFlags = platform::SPINST_LOGCONFIG | platform::SPINST_INIFILES | platform::SPINST_REGISTRY |
                               platform::SPINST_INI2REG | platform::SPINST_BITREG | platform::SPINST_REGSVR |
                               platform::SPINST_UNREGSVR | platform::SPINST_PROFILEITEMS;
static_assert(kSectionFlags == 0x1EF, "all install flags but SPINST_FILES, SPINST_COPYINF, SPINST_PROPERTIES");
// The default installation does what the shell's verb does, but the files.
constexpr UINT kDefaultSectionFlags = platform::SPINST_ALL & ~platform::SPINST_FILES;

// Only the non-file directives see this root; the files have their source in
// the INF file's own folder.
constexpr char16_t kSourceRoot[] = u"A:\\";
constexpr char16_t kDefaultSection[] = u"DefaultInstall";
constexpr char16_t kServicesSuffix[] = u".Services";
constexpr platform::DWORD kSectionNameUnits = 256;  // MAX_INF_SECTION_NAME_LENGTH and the terminator

// The default callback behind a quiet commit, and the error of the
// notification it refused.
struct QuietQueue {
    void* defaultContext;
    platform::DWORD error = platform::ERROR_SUCCESS;
};

// The medium is asked for before its files are copied, whether or not they
// are there: the default callback would look for the file (or the medium's
// tag file) and prompt only when it is missing.
bool MediumIsThere(UINT_PTR param1)
{
    const auto* media = reinterpret_cast<const platform::SOURCE_MEDIA_W*>(param1);
    if (media == nullptr || media->SourcePath == nullptr) return false;
    const char16_t* probe =
        media->Tagfile != nullptr && media->Tagfile[0] != u'\0' ? media->Tagfile : media->SourceFile;
    if (probe == nullptr) return false;
    Text path;
    path.append(media->SourcePath);
    if (!path.empty() && path.c_str()[path.size() - 1] != u'\\') path.append(u'\\');
    path.append(probe);
    return !path.failed() && platform::GetFileAttributesW(path.c_str()) != platform::INVALID_FILE_ATTRIBUTES;
}

// Every notification goes to the default callback, but for those that
// would prompt: they are refused, which ends the commit with their error.
UINT PLATFORM_API AnswerWithoutPrompts(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    auto* quiet = static_cast<QuietQueue*>(context);
    switch (notification) {
        case platform::SPFILENOTIFY_NEEDMEDIA:
            if (MediumIsThere(param1)) return platform::FILEOP_DOIT;
            quiet->error = platform::ERROR_FILE_NOT_FOUND;
            break;
        case platform::SPFILENOTIFY_COPYERROR:
        case platform::SPFILENOTIFY_RENAMEERROR:
        case platform::SPFILENOTIFY_DELETEERROR: {
            const auto* paths = reinterpret_cast<const platform::FILEPATHS_W*>(param1);
            quiet->error =
                paths != nullptr && paths->Win32Error != 0 ? paths->Win32Error : platform::ERROR_INSTALL_FAILURE;
            break;
        }
        default: return platform::SetupDefaultQueueCallbackW(quiet->defaultContext, notification, param1, param2);
    }
    platform::SetLastError(quiet->error);
    return platform::FILEOP_ABORT;
}

// The refused notification's error is the commit's: Windows may leave
// another behind once the callback has said no.
Result CommitQuietly(HSPFILEQ queue, void* defaultContext)
{
    QuietQueue quiet{defaultContext};
    if (platform::SetupCommitFileQueueW(nullptr, queue, AnswerWithoutPrompts, &quiet)) return Result::Done();
    const Result failure = Result::LastError();
    return quiet.error != platform::ERROR_SUCCESS ? Result::Failure(quiet.error) : failure;
}

Result Commit(const RunContext& run, HSPFILEQ queue, void* context)
{
    if (run.quiet) return CommitQuietly(queue, context);
    if (platform::SetupCommitFileQueueW(nullptr, queue, platform::SetupDefaultQueueCallbackW, context))
        return Result::Done();
    return Result::LastError();
}

void* InitQueueCallback(const RunContext& run)
{
    if (!run.quiet) return platform::SetupInitDefaultQueueCallback(nullptr);
    return platform::SetupInitDefaultQueueCallbackEx(nullptr, platform::INVALID_HANDLE_VALUE, 0, 0, nullptr);
}

// Commits the queue, then installs the rest of the section. A failure has
// been reported.
Result CommitAndInstallRest(RunContext& run, HINF inf, HSPFILEQ queue, const char16_t* sectionName, UINT flags)
{
    platform::unique_queue_callback_context context(InitQueueCallback(run));
    // Without a context the default callback has nothing to work with: the
    // queue cannot be carried out, so it is not tried.
    if (!context) return Report(run, Result::LastError(), kMsgCommitQueueFailed);
    const Result committed = Commit(run, queue, context.get());
    if (committed.Failed()) return Report(run, committed, kMsgCommitQueueFailed);
    if (!platform::SetupInstallFromInfSectionW(nullptr, inf, sectionName, flags, nullptr, kSourceRoot, 0, nullptr,
                                               nullptr, nullptr, nullptr))
        return Report(run, Result::LastError(), kMsgInstallSectionFailed);
    return Result::Done();
}

Result InstallThroughQueue(RunContext& run, HINF inf, HSPFILEQ queue, const char16_t* sectionName, UINT flags)
{
    if (!platform::SetupInstallFilesFromInfSectionW(inf, nullptr, queue, sectionName, nullptr, kCopyFlags))
        return Report(run, Result::LastError(), kMsgInstallFilesFailed);
    return CommitAndInstallRest(run, inf, queue, sectionName, flags);
}

// Asks nobody; a failed scan (-1) is passed over, and a restart is never
// taken back here, so an earlier section's stays recorded.
void RecordNeededRestart(RunContext& run, HSPFILEQ queue)
{
    const int scan = platform::SetupPromptReboot(queue, nullptr, platform::TRUE);
    if (scan != -1 && (scan & platform::SPFILEQ_REBOOT_RECOMMENDED) != 0) run.outcome.RecordRestartNeeded();
}

// Most INF files have no services section; only its failure is one.
Result InstallServicesSection(RunContext& run, HINF inf, const char16_t* sectionName)
{
    Text services;
    services.append(sectionName);
    services.append(kServicesSuffix);
    if (services.failed())
        return Report(run, Result::Failure(platform::ERROR_NOT_ENOUGH_MEMORY), kMsgInstallSectionFailed);
    if (platform::SetupInstallServicesFromInfSectionW(inf, services.c_str(), 0)) return Result::Done();
    const Result failure = Result::LastError();
    if (failure.Error() == platform::ERROR_SECTION_NOT_FOUND) return Result::Done();
    return Report(run, failure, kMsgInstallSectionFailed);
}

}  // namespace

Result InstallInfSection(RunContext& run, const char16_t* sectionName)
{
    UINT errorLine = 0;
    platform::unique_inf_file inf(
        platform::SetupOpenInfFileW(run.infPath, nullptr, platform::INF_STYLE_WIN4, &errorLine));
    if (!inf) return Report(run, Result::LastError(), kMsgOpenInfFailed);
    platform::unique_file_queue queue(platform::SetupOpenFileQueue());
    if (!queue) return Report(run, Result::LastError(), kMsgOpenFileQueueFailed);

    const Result result = InstallThroughQueue(run, inf.get(), queue.get(), sectionName, kSectionFlags);
    run.Trace(kInstallInfWord, sectionName, result.Failed() ? ": failed" : ": installed");
    // A commit that failed part of the way may still have replaced files in use.
    RecordNeededRestart(run, queue.get());
    return result;
}

Result InstallDefaultSection(RunContext& run)
{
    UINT errorLine = 0;
    platform::unique_inf_file inf(
        platform::SetupOpenInfFileW(run.infPath, nullptr, platform::INF_STYLE_WIN4, &errorLine));
    if (!inf) return Report(run, Result::LastError(), kMsgOpenInfFailed);
    char16_t section[kSectionNameUnits] = {};
    if (!platform::SetupDiGetActualSectionToInstallW(inf.get(), kDefaultSection, section, kSectionNameUnits, nullptr,
                                                     nullptr))
        return Report(run, Result::LastError(), kMsgInstallSectionFailed);
    platform::unique_file_queue queue(platform::SetupOpenFileQueue());
    if (!queue) return Report(run, Result::LastError(), kMsgOpenFileQueueFailed);
    Result result = InstallThroughQueue(run, inf.get(), queue.get(), section, kDefaultSectionFlags);
    if (!result.Failed()) result = InstallServicesSection(run, inf.get(), section);
    run.Trace("default installation of section ", section, result.Failed() ? ": failed" : ": installed");
    RecordNeededRestart(run, queue.get());
    return result;
}

}  // namespace ostrel
