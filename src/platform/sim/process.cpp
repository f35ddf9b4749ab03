// Processes, the user and the restart right on the simulated machine.
//
// A started process has always finished by the time the program waits for
// it; until then its exit code is STILL_ACTIVE, as on Windows. The token
// keeps the access it was opened with, so a query or an adjustment without
// the right one is refused as Windows refuses it.
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr LUID kShutdownLuid{19, 0};  // SeShutdownPrivilege's fixed LUID

struct Process {
    DWORD exitCode = 0;
    bool finished = false;
};

struct Thread {};

struct Token {
    DWORD access = 0;
};

bool IsProcess(const Machine& m, HANDLE handle)
{
    return handle == CurrentProcess() || m.handles.Find<Process>(handle, HandleKind::process) != nullptr;
}

std::optional<std::u16string> Optional(const char16_t* text)
{
    return text == nullptr ? std::nullopt : std::optional<std::u16string>(text);
}

// The program file a command line starts: the first word, quoted or not.
std::u16string FirstWord(const std::u16string& line)
{
    if (!line.empty() && line.front() == u'"') return line.substr(1, line.find(u'"', 1) - 1);
    return line.substr(0, line.find(u' '));
}

// A bare name would be looked for along the path, which the sim does not
// model; a path names a file that has to be there.
DWORD ExecutableError(const Machine& m, const std::u16string& path)
{
    if (path.find(u'\\') == std::u16string::npos || FoldCase(path) == FoldCase(m.modulePath)) return ERROR_SUCCESS;
    const std::optional<DWORD> attributes = m.FileAttributes(path);
    if (attributes) return (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    return m.FolderExists(path.substr(0, path.find_last_of(u'\\'))) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

ProcessStart StartRecord(LPCWSTR applicationName, LPCWSTR commandLine, BOOL inheritHandles, DWORD creationFlags,
                         const STARTUPINFOW& startup)
{
    return ProcessStart{Optional(applicationName), Optional(commandLine), inheritHandles,     creationFlags,
                        startup.dwFlags,           startup.hStdInput,     startup.hStdOutput, startup.hStdError};
}

bool SameLuid(const LUID& a, const LUID& b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

}  // namespace
}  // namespace sim

namespace platform {

using sim::Machine;

HANDLE GetCurrentProcess()
{
    Machine& m = Machine::Current();
    m.Enter("GetCurrentProcess");  // cannot fail
    return sim::CurrentProcess();
}

BOOL IsWow64Process(HANDLE process, BOOL* wow64)
{
    Machine& m = Machine::Current();
    if (m.Enter("IsWow64Process", [&] { return sim::Arguments{m.handles.Label(process)}; })) return FALSE;
    if (!sim::IsProcess(m, process)) return m.Fail(ERROR_INVALID_HANDLE);
    if (wow64 == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    *wow64 = m.devices.wow64 ? TRUE : FALSE;
    return TRUE;
}

BOOL IsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine)
{
    Machine& m = Machine::Current();
    if (m.Enter("IsWow64Process2", [&] { return sim::Arguments{m.handles.Label(process)}; })) return FALSE;
    if (!m.hasIsWow64Process2) return m.Fail(ERROR_PROC_NOT_FOUND);
    if (!sim::IsProcess(m, process)) return m.Fail(ERROR_INVALID_HANDLE);
    if (processMachine == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    // A process that is not under WOW64 reports no machine of its own.
    *processMachine = m.devices.wow64 ? m.processMachine : IMAGE_FILE_MACHINE_UNKNOWN;
    if (nativeMachine != nullptr) *nativeMachine = m.nativeMachine;
    return TRUE;
}

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, void* /*processAttributes*/,
                    void* /*threadAttributes*/, BOOL inheritHandles, DWORD creationFlags, void* /*environment*/,
                    LPCWSTR currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation)
{
    Machine& m = Machine::Current();
    if (m.Enter("CreateProcessW", [&] {
            return sim::Arguments{sim::Text(applicationName), sim::Text(commandLine), sim::Number(inheritHandles),
                                  sim::Hex(creationFlags), sim::Text(currentDirectory)};
        }))
        return FALSE;
    if ((applicationName == nullptr && commandLine == nullptr) || startupInfo == nullptr ||
        processInformation == nullptr || startupInfo->cb != sizeof(STARTUPINFOW))
        return m.Fail(ERROR_INVALID_PARAMETER);
    // Windows refuses a longer line rather than cut it (Wine cuts it).
    if (commandLine != nullptr && std::u16string_view(commandLine).size() > MAX_COMMAND_LINE)
        return m.Fail(ERROR_FILENAME_EXCED_RANGE);
    const std::u16string program = applicationName != nullptr ? applicationName : sim::FirstWord(commandLine);
    if (const DWORD error = sim::ExecutableError(m, program)) return m.Fail(error);
    m.processStarts.push_back(
        sim::StartRecord(applicationName, commandLine, inheritHandles, creationFlags, *startupInfo));
    const auto number = static_cast<DWORD>(m.processStarts.size());
    processInformation->hProcess = m.handles.Add(sim::HandleKind::process, u"process:" + program,
                                                 std::make_shared<sim::Process>(sim::Process{m.childExitCode}));
    processInformation->hThread =
        m.handles.Add(sim::HandleKind::thread, u"thread:" + program, std::make_shared<sim::Thread>());
    processInformation->dwProcessId = 1000 + 4 * number;
    processInformation->dwThreadId = 1002 + 4 * number;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    Machine& m = Machine::Current();
    if (m.Enter("WaitForSingleObject", [&] { return sim::Arguments{m.handles.Label(object), sim::Hex(milliseconds)}; }))
        return WAIT_FAILED;
    if (object == sim::CurrentProcess()) throw std::logic_error("sim: the program waits for its own end");
    if (auto* process = m.handles.Find<sim::Process>(object, sim::HandleKind::process)) {
        process->finished = true;
        return WAIT_OBJECT_0;
    }
    if (m.handles.Find<sim::Thread>(object, sim::HandleKind::thread) != nullptr) return WAIT_OBJECT_0;
    return m.Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetExitCodeProcess", [&] { return sim::Arguments{m.handles.Label(process)}; })) return FALSE;
    if (!sim::IsProcess(m, process)) return m.Fail(ERROR_INVALID_HANDLE);
    if (exitCode == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    const auto* child = m.handles.Find<sim::Process>(process, sim::HandleKind::process);
    *exitCode = child != nullptr && child->finished ? child->exitCode : STILL_ACTIVE;
    return TRUE;
}

// The size in and out counts characters with the terminator.
BOOL GetUserNameW(LPWSTR buffer, DWORD* size)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetUserNameW", [&] { return sim::Arguments{sim::Number(size == nullptr ? 0 : *size)}; })) return FALSE;
    if (size == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    const auto needed = static_cast<DWORD>(m.userName.size() + 1);
    const DWORD given = *size;
    *size = needed;
    if (buffer == nullptr || given < needed) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    sim::CopyTextToCaller("GetUserNameW", buffer, given, m.userName.data(), m.userName.size());
    return TRUE;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE* token)
{
    Machine& m = Machine::Current();
    if (m.Enter("OpenProcessToken", [&] { return sim::Arguments{m.handles.Label(process), sim::Hex(desiredAccess)}; }))
        return FALSE;
    if (!sim::IsProcess(m, process)) return m.Fail(ERROR_INVALID_HANDLE);
    if (token == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    *token = m.handles.Add(sim::HandleKind::token, u"token", std::make_shared<sim::Token>(sim::Token{desiredAccess}));
    return TRUE;
}

// Only TokenElevation is modelled, the one class the program asks for.
BOOL GetTokenInformation(HANDLE token, int informationClass, void* information, DWORD length, DWORD* returnLength)
{
    Machine& m = Machine::Current();
    if (m.Enter("GetTokenInformation", [&] {
            return sim::Arguments{m.handles.Label(token), sim::Number(informationClass), sim::Number(length)};
        }))
        return FALSE;
    const auto* held = m.handles.Find<sim::Token>(token, sim::HandleKind::token);
    if (held == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if ((held->access & TOKEN_QUERY) == 0) return m.Fail(ERROR_ACCESS_DENIED);
    if (informationClass != TokenElevation)
        throw std::logic_error("sim: GetTokenInformation models only TokenElevation");
    if (returnLength == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    *returnLength = sizeof(TOKEN_ELEVATION);
    if (information == nullptr || length < sizeof(TOKEN_ELEVATION)) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    const TOKEN_ELEVATION elevation{m.elevated ? 1U : 0U};
    sim::CopyToCaller("GetTokenInformation", static_cast<BYTE*>(information), length,
                      reinterpret_cast<const BYTE*>(&elevation), sizeof elevation);
    return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID* luid)
{
    Machine& m = Machine::Current();
    if (m.Enter("LookupPrivilegeValueW", [&] { return sim::Arguments{sim::Text(systemName), sim::Text(name)}; }))
        return FALSE;
    if (name == nullptr || luid == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if (sim::FoldCase(name) != sim::FoldCase(SE_SHUTDOWN_NAME)) return m.Fail(ERROR_NO_SUCH_PRIVILEGE);
    *luid = sim::kShutdownLuid;
    return TRUE;
}

// Succeeds whether or not the token holds what is asked; the last error says
// which (ERROR_NOT_ALL_ASSIGNED when it does not).
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD /*length*/,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    Machine& m = Machine::Current();
    if (m.Enter("AdjustTokenPrivileges", [&] {
            return sim::Arguments{m.handles.Label(token), sim::Number(disableAll)};
        }))
        return FALSE;
    const auto* held = m.handles.Find<sim::Token>(token, sim::HandleKind::token);
    if (held == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if ((held->access & TOKEN_ADJUST_PRIVILEGES) == 0) return m.Fail(ERROR_ACCESS_DENIED);
    if (!disableAll && newState == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if (!disableAll && newState->PrivilegeCount > 1)
        throw std::logic_error("sim: AdjustTokenPrivileges models one privilege at a time");
    if (previousState != nullptr) {
        if (returnLength != nullptr) *returnLength = sizeof(TOKEN_PRIVILEGES);
        previousState->PrivilegeCount = 1;
        previousState->Privileges[0] = {sim::kShutdownLuid, m.shutdownPrivilegeEnabled ? SE_PRIVILEGE_ENABLED : 0};
    }
    if (disableAll) {
        m.shutdownPrivilegeEnabled = false;
        m.lastError = ERROR_SUCCESS;
        return TRUE;
    }
    bool assigned = true;
    if (newState->PrivilegeCount == 1) {
        const LUID_AND_ATTRIBUTES& asked = newState->Privileges[0];
        assigned = m.holdsShutdownPrivilege && sim::SameLuid(asked.Luid, sim::kShutdownLuid);
        if (assigned) m.shutdownPrivilegeEnabled = (asked.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    m.lastError = assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    return TRUE;
}

BOOL InitiateSystemShutdownExW(LPWSTR machineName, LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                               BOOL rebootAfterShutdown, DWORD reason)
{
    Machine& m = Machine::Current();
    if (m.Enter("InitiateSystemShutdownExW", [&] {
            return sim::Arguments{sim::Text(machineName),
                                  sim::Text(message),
                                  sim::Number(timeout),
                                  sim::Number(forceAppsClosed),
                                  sim::Number(rebootAfterShutdown),
                                  sim::Hex(reason)};
        }))
        return FALSE;
    if (machineName != nullptr) throw std::logic_error("sim: InitiateSystemShutdownExW models this machine only");
    if (!m.shutdownPrivilegeEnabled) return m.Fail(ERROR_ACCESS_DENIED);
    m.shutdowns.push_back(
        sim::ShutdownRequest{sim::Optional(message), timeout, forceAppsClosed, rebootAfterShutdown, reason});
    return TRUE;
}

}  // namespace platform
