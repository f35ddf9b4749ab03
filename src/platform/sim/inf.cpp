// The Setup API's INF files, file queues, default queue callback and restart
// prompt, run against the simulated machine.
//
// A queue remembers the sections whose files were put in it; committing it
// copies those files into the machine's file table through the callback it
// is given, exactly as Windows drives the default callback. Installing a
// section's other directives writes its registry values.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace sim {

std::optional<std::u16string> InfWorld::RegistryValue(const std::u16string& keyAndName) const
{
    auto it = registry.find(FoldCase(keyAndName));
    if (it == registry.end()) return std::nullopt;
    return it->second;
}

namespace {


constexpr UINT SPFILENOTIFY_STARTQUEUE = 0x1;
constexpr UINT SPFILENOTIFY_ENDQUEUE = 0x2;
constexpr UINT SPFILENOTIFY_COPYERROR = 0xD;
constexpr UINT FILEOP_ABORT = 0;
constexpr UINT FILEOP_DOIT = 1;

const char* const kInfKind = "inf";
const char* const kQueueKind = "queue";
const char* const kContextKind = "callback-context";

struct OpenInf {
    std::u16string path;
};

struct QueuedSection {
    InfSection section;
    std::optional<std::u16string> sourceRoot;
};

struct FileQueue {
    std::vector<QueuedSection> sections;
    int flags = 0;  // SPFILEQ_ bits left by commits
};

struct CallbackContext {
    HWND owner;
};

std::u16string Pointer(const void* pointer)
{
    return pointer == nullptr ? u"(null)" : Hex(reinterpret_cast<std::uintptr_t>(pointer));
}

std::u16string CallbackName(PSP_FILE_CALLBACK_W callback)
{
    if (callback == &SetupDefaultQueueCallbackW) return u"SetupDefaultQueueCallbackW";
    return Pointer(reinterpret_cast<const void*>(callback));
}

const InfSection* FindSection(const Machine& m, const OpenInf& inf, const char16_t* name)
{
    const InfFile* file = m.infs.Find(inf.path);
    if (file == nullptr) return nullptr;
    auto it = file->sections.find(FoldCase(name));
    return it == file->sections.end() ? nullptr : &it->second;
}

// A source root the machine does not have makes Windows ask for the disk; the
// default callback offers neither skip nor browse there, so the user can only
// cancel.
bool SourceIsReachable(const Machine& m, const QueuedSection& queued)
{
    if (!queued.sourceRoot) return true;
    const auto attributes = m.FileAttributes(*queued.sourceRoot);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Copies the section's files; false (with the error in the last error) when
// a copy fails, after telling the callback, which cannot but abort.
bool CopySection(Machine& m, FileQueue& queue, const QueuedSection& queued, PSP_FILE_CALLBACK_W callback,
                 void* context)
{
    const InfSection& section = queued.section;
    DWORD error = ERROR_CANCELLED;
    if (SourceIsReachable(m, queued)) {
        error = section.copyError;
        std::size_t copies = section.files.size();
        if (error != ERROR_SUCCESS && copies != 0) --copies;
        for (std::size_t i = 0; i < copies; ++i) m.AddFile(section.files[i]);
        queue.flags |= section.restartFlags;
    }
    if (error == ERROR_SUCCESS) return true;
    callback(context, SPFILENOTIFY_COPYERROR, 0, 0);
    m.lastError = error;
    return false;
}

bool CommitSections(Machine& m, FileQueue& queue, PSP_FILE_CALLBACK_W callback, void* context)
{
    return std::all_of(queue.sections.begin(), queue.sections.end(), [&](const QueuedSection& queued) {
        return CopySection(m, queue, queued, callback, context);
    });
}

}  // namespace
}  // namespace sim

namespace platform {

using sim::Hex;
using sim::Machine;
using sim::Number;
using sim::Text;

HINF SetupOpenInfFileW(LPCWSTR fileName, LPCWSTR infClass, DWORD infStyle, UINT* /*errorLine*/)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupOpenInfFileW", {Text(fileName), Text(infClass), Hex(infStyle)})) return INVALID_HANDLE_VALUE;
    if (fileName == nullptr) return m.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const auto attributes = m.FileAttributes(fileName);
    if (!attributes) return m.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return m.Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    const sim::InfFile* inf = m.infs.Find(fileName);
    if (inf == nullptr || (infStyle & INF_STYLE_WIN4) == 0)
        return m.Fail(ERROR_WRONG_INF_STYLE, INVALID_HANDLE_VALUE);
    if (infClass != nullptr && sim::FoldCase(infClass) != sim::FoldCase(inf->className))
        return m.Fail(ERROR_CLASS_MISMATCH, INVALID_HANDLE_VALUE);
    return m.handles.Add(sim::kInfKind, u"inf:" + std::u16string(fileName),
                         std::make_shared<sim::OpenInf>(sim::OpenInf{fileName}));
}

void SetupCloseInfFile(HINF inf)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCloseInfFile", {m.handles.Label(inf)})) return;
    m.handles.Remove(inf, sim::kInfKind);
}

HSPFILEQ SetupOpenFileQueue()
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupOpenFileQueue")) return INVALID_HANDLE_VALUE;
    return m.handles.Add(sim::kQueueKind, u"queue", std::make_shared<sim::FileQueue>());
}

BOOL SetupCloseFileQueue(HSPFILEQ queue)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCloseFileQueue", {m.handles.Label(queue)})) return FALSE;
    if (!m.handles.Remove(queue, sim::kQueueKind)) return m.Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

BOOL SetupInstallFilesFromInfSectionW(HINF inf, HINF layoutInf, HSPFILEQ queue, LPCWSTR sectionName,
                                      LPCWSTR sourceRootPath, UINT copyFlags)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInstallFilesFromInfSectionW",
                {m.handles.Label(inf), m.handles.Label(layoutInf), m.handles.Label(queue), Text(sectionName),
                 Text(sourceRootPath), Hex(copyFlags)}))
        return FALSE;
    const auto* open = m.handles.Find<sim::OpenInf>(inf, sim::kInfKind);
    auto* fileQueue = m.handles.Find<sim::FileQueue>(queue, sim::kQueueKind);
    if (open == nullptr || fileQueue == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (sectionName == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    const sim::InfSection* section = sim::FindSection(m, *open, sectionName);
    if (section == nullptr) return m.Fail(ERROR_SECTION_NOT_FOUND);
    if (section->queueError != ERROR_SUCCESS) return m.Fail(section->queueError);
    sim::QueuedSection queued{*section, std::nullopt};
    if (sourceRootPath != nullptr) queued.sourceRoot = sourceRootPath;
    fileQueue->sections.push_back(std::move(queued));
    return TRUE;
}

void* SetupInitDefaultQueueCallback(HWND owner)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInitDefaultQueueCallback", {m.handles.Label(owner)})) return nullptr;
    return m.handles.Add(sim::kContextKind, u"callback-context",
                         std::make_shared<sim::CallbackContext>(sim::CallbackContext{owner}));
}

void SetupTermDefaultQueueCallback(void* context)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupTermDefaultQueueCallback", {m.handles.Label(context)})) return;
    m.handles.Remove(context, sim::kContextKind);
}

// Windows reads its progress window and owner from the context; one that is
// not a live context is refused here rather than read.
UINT PLATFORM_API SetupDefaultQueueCallbackW(void* context, UINT notification, UINT_PTR /*param1*/,
                                             UINT_PTR /*param2*/)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDefaultQueueCallbackW", {m.handles.Label(context), Hex(notification)}))
        return sim::FILEOP_ABORT;
    if (m.handles.Find<sim::CallbackContext>(context, sim::kContextKind) == nullptr)
        return m.Fail(ERROR_INVALID_HANDLE, sim::FILEOP_ABORT);
    if (notification == sim::SPFILENOTIFY_COPYERROR) return sim::FILEOP_ABORT;
    return sim::FILEOP_DOIT;
}

BOOL SetupCommitFileQueueW(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_W callback, void* context)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCommitFileQueueW",
                {m.handles.Label(owner), m.handles.Label(queue), sim::CallbackName(callback),
                 m.handles.Label(context)}))
        return FALSE;
    auto* fileQueue = m.handles.Find<sim::FileQueue>(queue, sim::kQueueKind);
    if (fileQueue == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (callback == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if (callback(context, sim::SPFILENOTIFY_STARTQUEUE, reinterpret_cast<UINT_PTR>(owner), 0) == 0) return FALSE;
    const bool committed = sim::CommitSections(m, *fileQueue, callback, context);
    const DWORD error = m.lastError;
    callback(context, sim::SPFILENOTIFY_ENDQUEUE, committed ? TRUE : FALSE, 0);
    if (!committed) return m.Fail(error);
    return TRUE;
}

BOOL SetupInstallFromInfSectionW(HWND owner, HINF inf, LPCWSTR sectionName, UINT flags, void* relativeKeyRoot,
                                 LPCWSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_W callback,
                                 void* context, HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInstallFromInfSectionW",
                {m.handles.Label(owner), m.handles.Label(inf), Text(sectionName), Hex(flags),
                 sim::Pointer(relativeKeyRoot), Text(sourceRootPath), Hex(copyFlags), sim::CallbackName(callback),
                 m.handles.Label(context), m.handles.Label(deviceInfoSet), sim::Pointer(deviceInfoData)}))
        return FALSE;
    const auto* open = m.handles.Find<sim::OpenInf>(inf, sim::kInfKind);
    if (open == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    // Copying files here needs a callback to drive the copy.
    if (sectionName == nullptr || ((flags & SPINST_FILES) != 0 && callback == nullptr))
        return m.Fail(ERROR_INVALID_PARAMETER);
    const sim::InfSection* section = sim::FindSection(m, *open, sectionName);
    if (section == nullptr) return m.Fail(ERROR_SECTION_NOT_FOUND);
    if (section->installError != ERROR_SUCCESS) return m.Fail(section->installError);
    if ((flags & SPINST_FILES) != 0)
        for (const std::u16string& file : section->files) m.AddFile(file);
    if ((flags & SPINST_REGISTRY) != 0)
        for (const auto& [keyAndName, value] : section->registryValues)
            m.infs.registry[sim::FoldCase(keyAndName)] = value;
    // Windows clears the last error when the section is installed.
    m.lastError = ERROR_SUCCESS;
    return TRUE;
}

// Scan only: the SPFILEQ_ bits the queue's commits left. Otherwise the user
// is asked whether to restart now; the simulated user always declines, so
// nothing restarts and the restart is only recommended.
int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupPromptReboot", {m.handles.Label(queue), m.handles.Label(owner), Number(scanOnly)})) return -1;
    int flags = SPFILEQ_REBOOT_RECOMMENDED;
    if (queue != nullptr) {
        const auto* fileQueue = m.handles.Find<sim::FileQueue>(queue, sim::kQueueKind);
        if (fileQueue == nullptr) return m.Fail(ERROR_INVALID_HANDLE, -1);
        flags = fileQueue->flags;
    } else if (scanOnly) {
        return m.Fail(ERROR_INVALID_PARAMETER, -1);
    }
    if (scanOnly || flags == 0) return flags;
    ++m.restartPrompts;
    return flags;
}

}  // namespace platform
