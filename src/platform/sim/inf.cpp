// The Setup API's INF files, file queues, default queue callback and restart
// prompt, run against the simulated machine.
//
// A queue remembers the sections whose files were put in it; committing it
// copies those files into the machine's file table, telling the callback it
// is given what Windows tells it (start and end of the queue, of the copy
// subqueue and of each file, a missing disk, a failed copy) and doing what
// it answers. Installing a section's other directives writes its registry
// values.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace sim {

std::optional<std::u16string> InfWorld::RegistryValue(const std::u16string& keyAndName) const
{
    auto it = registry.find(FoldCase(keyAndName));
    if (it == registry.end()) return std::nullopt;
    return it->second;
}

namespace {

// A callback that retries a copy that keeps failing would hang Windows too.
constexpr int kMostRetries = 100;

struct OpenInf {
    std::u16string path;
};

struct QueuedSection {
    InfSection section;
    std::optional<std::u16string> sourceRoot;
    std::u16string infFolder;  // where the sources are without a source root
    UINT copyFlags = 0;
};

struct FileQueue {
    std::vector<QueuedSection> sections;
    int flags = 0;  // SPFILEQ_ bits left by commits
};

struct CallbackContext {
    HWND owner;
    HWND progressWindow;
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

// A source root the machine does not have makes Windows ask for the disk.
bool SourceIsReachable(const Machine& m, const QueuedSection& queued)
{
    if (!queued.sourceRoot) return true;
    const auto attributes = m.FileAttributes(*queued.sourceRoot);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What the callback hears about one file.
struct FileNames {
    std::u16string target;
    std::u16string sourceFolder;
    std::u16string sourceFile;
    std::u16string source;
};

FileNames NamesOf(const QueuedSection& queued, const std::u16string& target)
{
    const std::size_t slash = target.find_last_of(u'\\');
    FileNames names{target,
                    queued.sourceRoot.value_or(queued.infFolder),
                    slash == std::u16string::npos ? target : target.substr(slash + 1),
                    {}};
    names.source = names.sourceFolder + u'\\' + names.sourceFile;
    return names;
}

enum class Outcome { copied, skipped, aborted };

class Commit {
public:
    Commit(Machine& m, PSP_FILE_CALLBACK_W callback, void* context) : m_(m), callback_(callback), context_(context) {}

    UINT Notify(UINT notification, UINT_PTR param1, UINT_PTR param2) const
    {
        return callback_(context_, notification, param1, param2);
    }
    UINT Notify(UINT notification, const void* param1, const void* param2) const
    {
        return Notify(notification, reinterpret_cast<UINT_PTR>(param1), reinterpret_cast<UINT_PTR>(param2));
    }

    // The question for the medium, then the copy, each answered by the
    // callback; an abort leaves the last error it set.
    Outcome CopyFile(const QueuedSection& queued, const std::u16string& target) const
    {
        const InfSection& section = queued.section;
        const FileNames names = NamesOf(queued, target);
        char16_t newPath[MAX_PATH] = {};
        // Windows asks for the medium before copying from it, whether or not
        // the file is there (Wine before every file), and leaves it to the
        // callback to look.
        const SOURCE_MEDIA_W media{
            nullptr,         nullptr, u"Installation disk", names.sourceFolder.c_str(), names.sourceFile.c_str(),
            queued.copyFlags};
        // Going on copies from where the queue looks, the file there or not.
        const UINT mediaAnswer = Notify(SPFILENOTIFY_NEEDMEDIA, &media, newPath);
        if (mediaAnswer == FILEOP_ABORT) return Outcome::aborted;
        if (mediaAnswer == FILEOP_SKIP) return Outcome::skipped;
        FILEPATHS_W paths{names.target.c_str(), names.source.c_str(), ERROR_SUCCESS, 0};
        const UINT start = Notify(SPFILENOTIFY_STARTCOPY, reinterpret_cast<UINT_PTR>(&paths), FILEOP_COPY);
        if (start != FILEOP_DOIT) return start == FILEOP_SKIP ? Outcome::skipped : Outcome::aborted;
        const DWORD copyError = CopyErrorOf(section, names);
        for (int tries = 0; copyError != ERROR_SUCCESS; ++tries) {
            if (tries == kMostRetries) throw std::logic_error("sim: the queue callback retries a copy forever");
            paths.Win32Error = copyError;
            const UINT answer = Notify(SPFILENOTIFY_COPYERROR, &paths, newPath);
            if (answer == FILEOP_ABORT) return Outcome::aborted;
            if (answer == FILEOP_SKIP) return Outcome::skipped;
        }
        m_.AddFile(target);
        m_.fileBytes[target] = BytesOf(names.source);
        const UINT ended = Notify(SPFILENOTIFY_ENDCOPY, reinterpret_cast<UINT_PTR>(&paths), 0);
        if (ended == ERROR_SUCCESS) return Outcome::copied;
        return m_.Fail(ended, Outcome::aborted);
    }

    bool CopyAll(FileQueue& queue) const
    {
        std::size_t count = 0;
        for (const QueuedSection& queued : queue.sections) count += queued.section.files.size();
        if (count == 0) return true;
        if (Notify(SPFILENOTIFY_STARTSUBQUEUE, FILEOP_COPY, count) == 0) return false;
        for (const QueuedSection& queued : queue.sections) {
            if (SourceIsReachable(m_, queued)) queue.flags |= queued.section.restartFlags;
            for (const std::u16string& target : queued.section.files)
                if (CopyFile(queued, target) == Outcome::aborted) return false;
        }
        Notify(SPFILENOTIFY_ENDSUBQUEUE, FILEOP_COPY, 0);
        return true;
    }

private:
    // Why copying the file fails: as the section says, or because the source
    // has gone (the callback went on without it) or a folder stands where
    // the copy would go.
    DWORD CopyErrorOf(const InfSection& section, const FileNames& names) const
    {
        const auto failing = section.failingCopies.find(names.target);
        if (failing != section.failingCopies.end()) return failing->second;
        if (!m_.FileAttributes(names.source)) return ERROR_FILE_NOT_FOUND;
        const std::optional<DWORD> target = m_.FileAttributes(names.target);
        return target && (*target & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    }

    std::string BytesOf(const std::u16string& path) const
    {
        for (const auto& [name, bytes] : m_.fileBytes)
            if (PathKey(name) == PathKey(path)) return bytes;
        return {};
    }

    Machine& m_;
    PSP_FILE_CALLBACK_W callback_;
    void* context_;
};

// The last file of a section with a copy error fails: the files before it
// are copied.
InfSection WithCopyError(InfSection section)
{
    if (section.copyError != ERROR_SUCCESS && !section.files.empty())
        section.failingCopies.emplace(section.files.back(), section.copyError);
    return section;
}

std::u16string FolderOf(const std::u16string& path)
{
    const std::size_t slash = path.find_last_of(u'\\');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

// The decorations Windows tries, most particular first.
std::vector<std::u16string> Decorations(USHORT machine)
{
    if (machine == IMAGE_FILE_MACHINE_I386) return {u".NTx86", u".NT"};
    if (machine == IMAGE_FILE_MACHINE_ARM64) return {u".NTarm64", u".NT"};
    return {u".NTamd64", u".NT"};
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
    if (m.Enter("SetupOpenInfFileW", [&] { return sim::Arguments{Text(fileName), Text(infClass), Hex(infStyle)}; }))
        return INVALID_HANDLE_VALUE;
    if (fileName == nullptr) return m.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const auto attributes = m.FileAttributes(fileName);
    if (!attributes) return m.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return m.Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    const sim::InfFile* inf = m.infs.Find(fileName);
    if (inf == nullptr || (infStyle & INF_STYLE_WIN4) == 0) return m.Fail(ERROR_WRONG_INF_STYLE, INVALID_HANDLE_VALUE);
    if (infClass != nullptr && sim::FoldCase(infClass) != sim::FoldCase(inf->className))
        return m.Fail(ERROR_CLASS_MISMATCH, INVALID_HANDLE_VALUE);
    return m.handles.Add(sim::HandleKind::inf, u"inf:" + std::u16string(fileName),
                         std::make_shared<sim::OpenInf>(sim::OpenInf{fileName}));
}

void SetupCloseInfFile(HINF inf)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCloseInfFile", [&] { return sim::Arguments{m.handles.Label(inf)}; })) return;
    m.handles.Remove(inf, sim::HandleKind::inf);
}

HSPFILEQ SetupOpenFileQueue()
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupOpenFileQueue")) return INVALID_HANDLE_VALUE;
    return m.handles.Add(sim::HandleKind::fileQueue, u"queue", std::make_shared<sim::FileQueue>());
}

BOOL SetupCloseFileQueue(HSPFILEQ queue)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCloseFileQueue", [&] { return sim::Arguments{m.handles.Label(queue)}; })) return FALSE;
    if (!m.handles.Remove(queue, sim::HandleKind::fileQueue)) return m.Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

BOOL SetupInstallFilesFromInfSectionW(HINF inf, HINF layoutInf, HSPFILEQ queue, LPCWSTR sectionName,
                                      LPCWSTR sourceRootPath, UINT copyFlags)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInstallFilesFromInfSectionW", [&] {
            return sim::Arguments{m.handles.Label(inf), m.handles.Label(layoutInf), m.handles.Label(queue),
                                  Text(sectionName),    Text(sourceRootPath),       Hex(copyFlags)};
        }))
        return FALSE;
    const auto* open = m.handles.Find<sim::OpenInf>(inf, sim::HandleKind::inf);
    auto* fileQueue = m.handles.Find<sim::FileQueue>(queue, sim::HandleKind::fileQueue);
    if (open == nullptr || fileQueue == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (sectionName == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    const sim::InfSection* section = sim::FindSection(m, *open, sectionName);
    if (section == nullptr) return m.Fail(ERROR_SECTION_NOT_FOUND);
    if (section->queueError != ERROR_SUCCESS) return m.Fail(section->queueError);
    sim::QueuedSection queued{sim::WithCopyError(*section), std::nullopt, sim::FolderOf(open->path), copyFlags};
    if (sourceRootPath != nullptr) queued.sourceRoot = sourceRootPath;
    fileQueue->sections.push_back(std::move(queued));
    return TRUE;
}

void* SetupInitDefaultQueueCallback(HWND owner)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInitDefaultQueueCallback", [&] { return sim::Arguments{m.handles.Label(owner)}; }))
        return nullptr;
    return m.handles.Add(sim::HandleKind::callbackContext, u"callback-context",
                         std::make_shared<sim::CallbackContext>(sim::CallbackContext{owner, nullptr}));
}

void* SetupInitDefaultQueueCallbackEx(HWND owner, HWND alternateProgressWindow, UINT progressMessage, DWORD reserved1,
                                      void* reserved2)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInitDefaultQueueCallbackEx", [&] {
            return sim::Arguments{m.handles.Label(owner), m.handles.Label(alternateProgressWindow),
                                  Hex(progressMessage), Hex(reserved1), sim::Pointer(reserved2)};
        }))
        return nullptr;
    m.infs.progressWindows.push_back(alternateProgressWindow);
    return m.handles.Add(sim::HandleKind::callbackContext, u"callback-context",
                         std::make_shared<sim::CallbackContext>(sim::CallbackContext{owner, alternateProgressWindow}));
}

void SetupTermDefaultQueueCallback(void* context)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupTermDefaultQueueCallback", [&] { return sim::Arguments{m.handles.Label(context)}; })) return;
    m.handles.Remove(context, sim::HandleKind::callbackContext);
}

// Windows reads its progress window and owner from the context; one that is
// not a live context is refused here rather than read. A missing disk or a
// failed copy gets a dialog, which the simulated user cancels: the disk
// prompt offers neither skip nor browse (SP_COPY_NOSKIP | SP_COPY_NOBROWSE),
// and the copy's own error stays the commit's.
UINT PLATFORM_API SetupDefaultQueueCallbackW(void* context, UINT notification, UINT_PTR param1, UINT_PTR /*param2*/)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDefaultQueueCallbackW", [&] {
            return sim::Arguments{m.handles.Label(context), Hex(notification)};
        }))
        return FILEOP_ABORT;
    if (m.handles.Find<sim::CallbackContext>(context, sim::HandleKind::callbackContext) == nullptr)
        return m.Fail(ERROR_INVALID_HANDLE, FILEOP_ABORT);
    // Windows looks for the medium by its tag file, or by the source file
    // when the medium has none, and prompts only when that is missing.
    if (notification == SPFILENOTIFY_NEEDMEDIA && param1 != 0) {
        const auto* media = reinterpret_cast<const SOURCE_MEDIA_W*>(param1);
        const bool tagged = media->Tagfile != nullptr && media->Tagfile[0] != 0;
        if (m.FileAttributes(std::u16string(media->SourcePath) + u'\\' + (tagged ? media->Tagfile : media->SourceFile)))
            return FILEOP_DOIT;
    }
    if (notification == SPFILENOTIFY_NEEDMEDIA || notification == SPFILENOTIFY_COPYERROR) {
        m.infs.setupDialogs.push_back(notification);
        const bool copyError = notification == SPFILENOTIFY_COPYERROR && param1 != 0;
        return m.Fail(copyError ? reinterpret_cast<const FILEPATHS_W*>(param1)->Win32Error : ERROR_CANCELLED,
                      FILEOP_ABORT);
    }
    // An end of copy answers an error code, no error going on.
    if (notification == sim::SPFILENOTIFY_ENDCOPY || notification == sim::SPFILENOTIFY_ENDQUEUE ||
        notification == sim::SPFILENOTIFY_ENDSUBQUEUE)
        return ERROR_SUCCESS;
    return FILEOP_DOIT;
}

BOOL SetupCommitFileQueueW(HWND owner, HSPFILEQ queue, PSP_FILE_CALLBACK_W callback, void* context)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCommitFileQueueW", [&] {
            return sim::Arguments{m.handles.Label(owner), m.handles.Label(queue), sim::CallbackName(callback),
                                  m.handles.Label(context)};
        }))
        return FALSE;
    auto* fileQueue = m.handles.Find<sim::FileQueue>(queue, sim::HandleKind::fileQueue);
    if (fileQueue == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (callback == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if (callback(context, sim::SPFILENOTIFY_STARTQUEUE, reinterpret_cast<UINT_PTR>(owner), 0) == 0) return FALSE;
    const bool committed = sim::Commit(m, callback, context).CopyAll(*fileQueue);
    const DWORD error = m.lastError;
    callback(context, sim::SPFILENOTIFY_ENDQUEUE, committed ? TRUE : FALSE, 0);
    if (!committed) return m.Fail(error);
    return TRUE;
}

BOOL SetupInstallFromInfSectionW(HWND owner, HINF inf, LPCWSTR sectionName, UINT flags, void* relativeKeyRoot,
                                 LPCWSTR sourceRootPath, UINT copyFlags, PSP_FILE_CALLBACK_W callback, void* context,
                                 HDEVINFO deviceInfoSet, SP_DEVINFO_DATA* deviceInfoData)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInstallFromInfSectionW", [&] {
            return sim::Arguments{m.handles.Label(owner),
                                  m.handles.Label(inf),
                                  Text(sectionName),
                                  Hex(flags),
                                  sim::Pointer(relativeKeyRoot),
                                  Text(sourceRootPath),
                                  Hex(copyFlags),
                                  sim::CallbackName(callback),
                                  m.handles.Label(context),
                                  m.handles.Label(deviceInfoSet),
                                  sim::Pointer(deviceInfoData)};
        }))
        return FALSE;
    const auto* open = m.handles.Find<sim::OpenInf>(inf, sim::HandleKind::inf);
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

// The section with the decoration this machine's architecture takes, when
// the INF file has one; otherwise the name itself, which need not exist.
BOOL SetupDiGetActualSectionToInstallW(HINF inf, LPCWSTR sectionName, LPWSTR actualName, DWORD actualNameSize,
                                       DWORD* requiredSize, LPWSTR* extension)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiGetActualSectionToInstallW", [&] {
            return sim::Arguments{m.handles.Label(inf), Text(sectionName), Number(actualNameSize)};
        }))
        return FALSE;
    const auto* open = m.handles.Find<sim::OpenInf>(inf, sim::HandleKind::inf);
    if (open == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (sectionName == nullptr || (actualName == nullptr && actualNameSize != 0))
        return m.Fail(ERROR_INVALID_PARAMETER);
    std::u16string actual = sectionName;
    std::optional<std::size_t> dot;
    for (const std::u16string& decoration : sim::Decorations(m.processMachine)) {
        if (sim::FindSection(m, *open, (actual + decoration).c_str()) == nullptr) continue;
        dot = actual.size();
        actual += decoration;
        break;
    }
    const auto needed = static_cast<DWORD>(actual.size() + 1);
    if (requiredSize != nullptr) *requiredSize = needed;
    if (actualName == nullptr) return TRUE;
    if (actualNameSize < needed) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    sim::CopyTextToCaller("SetupDiGetActualSectionToInstallW", actualName, actualNameSize, actual.data(),
                          actual.size());
    if (extension != nullptr) *extension = dot ? actualName + *dot : nullptr;
    return TRUE;
}

BOOL SetupInstallServicesFromInfSectionW(HINF inf, LPCWSTR sectionName, DWORD flags)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupInstallServicesFromInfSectionW", [&] {
            return sim::Arguments{m.handles.Label(inf), Text(sectionName), Hex(flags)};
        }))
        return FALSE;
    const auto* open = m.handles.Find<sim::OpenInf>(inf, sim::HandleKind::inf);
    if (open == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (sectionName == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if (sim::FindSection(m, *open, sectionName) == nullptr) return m.Fail(ERROR_SECTION_NOT_FOUND);
    m.infs.serviceSections.emplace_back(sectionName);
    return TRUE;
}

// Scan only: the SPFILEQ_ bits the queue's commits left. Otherwise the user
// is asked whether to restart now; the simulated user always declines, so
// nothing restarts and the restart is only recommended.
int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupPromptReboot", [&] {
            return sim::Arguments{m.handles.Label(queue), m.handles.Label(owner), Number(scanOnly)};
        }))
        return -1;
    int flags = SPFILEQ_REBOOT_RECOMMENDED;
    if (queue != nullptr) {
        const auto* fileQueue = m.handles.Find<sim::FileQueue>(queue, sim::HandleKind::fileQueue);
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
