// The shell's verbs on the simulated machine: only "install" does anything,
// and only when the test lets the shell accept the request.
#include <cstdint>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace platform {

using sim::Machine;

namespace {

constexpr std::intptr_t kLastShellError = 32;
constexpr std::intptr_t kDllNotFound = 32;  // SE_ERR_DLLNOTFOUND

HINSTANCE AsInstance(std::intptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

bool IsInstallVerb(LPCWSTR operation) { return operation != nullptr && sim::FoldCase(operation) == u"install"; }

}  // namespace

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand)
{
    Machine& m = Machine::Current();
    if (m.Enter("ShellExecuteW", {m.handles.Label(owner), sim::Text(operation), sim::Text(file), sim::Text(parameters),
                                  sim::Text(directory), sim::Number(showCommand)})) {
        // A refusal is an error code from 0 to 32; the fault's own error when
        // it is one, and the shell's own for a library that cannot be had.
        const DWORD error = m.lastError;
        if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND) return AsInstance(kDllNotFound);
        return AsInstance(error <= kLastShellError ? static_cast<std::intptr_t>(error) : 0);
    }
    if (m.shellResult > kLastShellError && IsInstallVerb(operation) && file != nullptr)
        m.shellInstalls.emplace_back(file);
    return AsInstance(m.shellResult);
}

}  // namespace platform
