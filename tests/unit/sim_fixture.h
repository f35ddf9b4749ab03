// A simulated machine with OstrelSetup in C:\Tools and its INF file beside
// it, a way to run the program with a command line, and readers that turn
// what the user saw into UTF-8 so that a failing assertion prints readably.
//
//   class MyTest : public ostrel_test::SimFixture {};
//   TEST_F(MyTest, StartsTheService) {
//       machine.services.Add(u"Spooler2");
//       EXPECT_EQ(Run("start service Spooler2"), 0);
//       EXPECT_EQ(Boxes(), NoBoxes());
//   }
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/application.h"
#include "base/error_names.h"
#include "catalogue_texts.h"
#include "messages/message_sink.h"
#include "run/run_context.h"
#include "platform/sim/machine.h"

namespace ostrel_test {

inline const std::u16string kProgramPath = u"C:\\Tools\\OstrelSetup.exe";
inline const std::u16string kDefaultInfPath = u"C:\\Tools\\OstrelSetup.inf";
inline const char* const kCaption = "Ostrel Setup Utility";

// A value no platform call leaves behind, for tests that depend on who set
// the last error.
constexpr platform::DWORD kUntouchedLastError = 0xDEADBEEF;

constexpr platform::LCID kGerman = platform::LOCALE_GERMAN_AUSTRIA;
constexpr platform::LCID kEnglish = platform::LOCALE_ENGLISH_US;

// Names each case of a parameterised test after its table row's `name`
// (letters, digits and underscores only, as test names must be):
//   INSTANTIATE_TEST_SUITE_P(Cases, MyTest, ::testing::ValuesIn(kCases), ostrel_test::CaseName());
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return std::string(info.param.name);
    }
};

// One message box as the user saw it.
struct Box {
    std::string text;
    platform::UINT type = 0;

    bool operator==(const Box& other) const { return text == other.text && type == other.type; }
};

inline std::ostream& operator<<(std::ostream& out, const Box& box)
{
    return out << "{type 0x" << std::hex << box.type << std::dec << ", \"" << box.text << "\"}";
}

inline std::vector<Box> NoBoxes() { return {}; }

// How the walk over the arguments reads an operation's result: 1 goes on
// with the next argument, 0 stops.
inline int WalkAnswer(ostrel::Result result) { return result.Failed() ? 0 : 1; }

// A box with the error icon, as the command-line faults and ReportError show.
inline Box ErrorBox(std::string text) { return Box{std::move(text), platform::MB_ICONERROR}; }
inline Box InformationBox(std::string text) { return Box{std::move(text), platform::MB_ICONINFORMATION}; }

class SimFixture : public ::testing::Test {
protected:
    SimFixture()
    {
        machine.modulePath = kProgramPath;
        machine.AddFile(kDefaultInfPath);
        machine.lastError = kUntouchedLastError;
    }

    // Runs the program as Windows would start it: the program's own name in
    // quotation marks, a blank, then `arguments`. Returns the exit code.
    int Run(const std::u16string& arguments)
    {
        machine.commandLine = u"\"" + kProgramPath + u"\" " + arguments;
        return ostrel::RunApplication(ostrel::TheApp());
    }
    int Run(const std::string& argumentsUtf8) { return Run(sim::U16(argumentsUtf8)); }
    int Run(const char* argumentsUtf8) { return Run(std::string(argumentsUtf8)); }

    // Calls RunSetup alone with the text after the program's name, for the
    // tests that look at its own result (-1 for a missing INF file).
    int RunSetupWith(const std::u16string& arguments)
    {
        commandLine_ = arguments;
        ostrel::Application::SetCommandLine(commandLine_.c_str());
        return ostrel::TheApp().RunSetup();
    }

    // What the user saw, in order.
    std::vector<Box> Boxes() const
    {
        std::vector<Box> boxes;
        for (const sim::MessageBoxRecord& record : machine.boxes)
            boxes.push_back(Box{sim::U8(record.text), record.type});
        return boxes;
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const sim::MessageBoxRecord& record : machine.boxes) texts.push_back(sim::U8(record.text));
        return texts;
    }
    // Every box has the application's name as caption and no owner.
    bool AllBoxesBelongToTheApp() const
    {
        for (const sim::MessageBoxRecord& record : machine.boxes)
            if (record.owner != nullptr || sim::U8(record.caption) != kCaption) return false;
        return true;
    }

    // The system's text for `code` as a report shows it: its final line feed
    // removed, a carriage return before it kept; where the machine has none,
    // the code and its name.
    std::string SystemText(platform::DWORD code) const
    {
        auto it = machine.systemTexts.find(code);
        if (it == machine.systemTexts.end()) {
            char hex[16];
            (void)std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
            ostrel::ErrorNameBuffer name;
            return ostrel::ErrorName(code, name) ? std::string(hex) + " (" + sim::U8(name) + ")" : hex;
        }
        std::string text = sim::U8(it->second);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    // What ReportError shows: the catalogue text, a line feed and the system's
    // text for the error.
    Box Report(const std::string& catalogueText, platform::DWORD error) const
    {
        return ErrorBox(catalogueText + "\n" + SystemText(error));
    }

    // Whether the run has recorded a restart as needed (or started).
    platform::BOOL RestartNeeded() const
    {
        return run.outcome.RestartState() == ostrel::Restart::NotNeeded ? platform::FALSE : platform::TRUE;
    }
    void SetRestartNeeded(platform::BOOL needed)
    {
        if (needed != platform::FALSE) run.outcome.RecordRestartNeeded();
    }

    // The call log, restricted to `functions`, as "Name(arg, arg)" lines.
    std::vector<std::string> CallsTo(const std::set<std::string>& functions) const
    {
        return machine.CallsTo(functions);
    }

    sim::Machine machine;
    // For the tests that call an operation or a message function alone: a
    // person's run over the default INF file, its messages in boxes.
    ostrel::BoxSink boxSink{ostrel::TheApp().Name()};
    ostrel::RunContext run{boxSink, kDefaultInfPath.c_str()};

private:
    std::u16string commandLine_;
};

}  // namespace ostrel_test
