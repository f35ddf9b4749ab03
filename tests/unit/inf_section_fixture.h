// The INF file beside OstrelSetup with install sections, for the tests of
// "install inf", and readers for what a section install did.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace ostrel_test {

inline const std::u16string kToolFile = u"C:\\Tools\\bin\\tool.dll";
inline const std::u16string kToolValue = u"HKLM\\Software\\Ostrel\\Tool";
inline const std::u16string kHelpFile = u"C:\\Tools\\help\\tool.chm";
inline const std::u16string kHelpValue = u"HKLM\\Software\\Ostrel\\Help";

inline sim::InfSection ToolSection()
{
    sim::InfSection section;
    section.files = {kToolFile};
    section.registryValues = {{kToolValue, u"1"}};
    return section;
}

inline sim::InfSection HelpSection()
{
    sim::InfSection section;
    section.files = {kHelpFile};
    section.registryValues = {{kHelpValue, u"2"}};
    return section;
}

class InfSectionFixture : public SimFixture {
protected:
    InfSectionFixture()
    {
        // Windows has texts for the Setup API's own codes, as it has for the others.
        machine.systemTexts[platform::ERROR_SECTION_NOT_FOUND] = u"The required section was not found in the INF.\r\n";
    }

    // The INF file beside the program, with these sections (keys in any case).
    void WithSections(const std::map<std::u16string, sim::InfSection>& sections)
    {
        sim::InfFile inf;
        for (const auto& [name, section] : sections) inf.sections[sim::FoldCase(name)] = section;
        machine.AddInf(kDefaultInfPath, inf);
    }

    // The INF and queue calls and the boxes, by name, in the order made.
    std::vector<std::string> Steps() const
    {
        static const std::set<std::string> kSteps = {"SetupOpenInfFileW",
                                                     "SetupOpenFileQueue",
                                                     "SetupInstallFilesFromInfSectionW",
                                                     "SetupInitDefaultQueueCallback",
                                                     "SetupCommitFileQueueW",
                                                     "SetupInstallFromInfSectionW",
                                                     "SetupTermDefaultQueueCallback",
                                                     "SetupPromptReboot",
                                                     "SetupCloseFileQueue",
                                                     "SetupCloseInfFile",
                                                     "MessageBoxW"};
        std::vector<std::string> steps;
        for (const std::string& name : machine.CallNames())
            if (kSteps.count(name) != 0) steps.push_back(name);
        return steps;
    }

    bool HasFile(const std::u16string& path) const { return machine.FileAttributes(path).has_value(); }
    std::string Registry(const std::u16string& keyAndName) const
    {
        const auto value = machine.infs.RegistryValue(keyAndName);
        return value ? sim::U8(*value) : "(none)";
    }
    // Objects the section install opened and did not release.
    std::size_t OpenInfObjects() const
    {
        return machine.handles.OpenCount(sim::HandleKind::inf) + machine.handles.OpenCount(sim::HandleKind::fileQueue) +
               machine.handles.OpenCount(sim::HandleKind::callbackContext);
    }
};

}  // namespace ostrel_test
