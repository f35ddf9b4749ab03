// The shell's verbs on the simulated machine: only "install" does anything,
// and only when the test lets the shell accept the request: on a file that
// is there and that has the verb (an INF file), it installs the file's
// DefaultInstall section, at once where Windows does it a moment later.
#include <cstdint>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace platform {

using sim::Machine;

namespace {

constexpr std::intptr_t kLastShellError = 32;
constexpr std::intptr_t kFileNotFound = 2;    // SE_ERR_FNF
constexpr std::intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
constexpr std::intptr_t kDllNotFound = 32;    // SE_ERR_DLLNOTFOUND

HINSTANCE AsInstance(std::intptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

bool IsInstallVerb(LPCWSTR operation) { return operation != nullptr && sim::FoldCase(operation) == u"install"; }

// Only INF files have the "install" verb.
bool HasInstallVerb(const std::u16string& file)
{
    const std::u16string folded = sim::FoldCase(file);
    return folded.size() > 4 && folded.compare(folded.size() - 4, 4, u".inf") == 0;
}

// What the verb's command carries out: the DefaultInstall section's files
// and registry values.
void InstallDefaultSection(Machine& m, const std::u16string& file)
{
    const sim::InfFile* inf = m.infs.Find(file);
    if (inf == nullptr) return;
    const auto section = inf->sections.find(u"defaultinstall");
    if (section == inf->sections.end()) return;
    for (const std::u16string& copied : section->second.files) m.AddFile(copied);
    for (const auto& [keyAndName, value] : section->second.registryValues)
        m.infs.registry[sim::FoldCase(keyAndName)] = value;
}

}  // namespace

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                        int showCommand)
{
    Machine& m = Machine::Current();
    if (m.Enter("ShellExecuteW", [&] {
            return sim::Arguments{m.handles.Label(owner), sim::Text(operation), sim::Text(file),
                                  sim::Text(parameters),  sim::Text(directory), sim::Number(showCommand)};
        })) {
        // A refusal is an error code from 0 to 32; the fault's own error when
        // it is one, and the shell's own for a library that cannot be had.
        const DWORD error = m.lastError;
        if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND) return AsInstance(kDllNotFound);
        return AsInstance(error <= kLastShellError ? static_cast<std::intptr_t>(error) : 0);
    }
    if (m.shellResult <= kLastShellError || !IsInstallVerb(operation) || file == nullptr)
        return AsInstance(m.shellResult);
    if (!m.FileAttributes(file)) return AsInstance(kFileNotFound);
    if (!HasInstallVerb(file)) return AsInstance(kNoAssociation);
    m.shellInstalls.emplace_back(file);
    InstallDefaultSection(m, file);
    return AsInstance(m.shellResult);
}

}  // namespace platform
