// The application object and the small framework that starts it.
//
// The framework keeps the application's name (the caption of every box),
// sets the process's error mode, hands the command line after the program's
// own name to RunSetup, and ends the process with the exit code RunSetup
// returns: 0 for a person's run, the outcome for a quiet one.
#pragma once

#include "platform/win32_types.h"

namespace ostrel {

class Application {
public:
    // `name` must outlive the application: a literal, as the program's is.
    // Built at compile time, the one object needs no code before the entry
    // point to construct it, and nothing at the process's end to destroy it;
    // it holds nothing that changes, so it lies in read-only memory (a
    // program-wide variable that changes would take a section of its own in
    // the executable).
    explicit constexpr Application(const char16_t* name) : name_(name) {}
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    const char16_t* Name() const { return name_; }
    // The command line after the program's own name, which the framework
    // sets before it calls RunSetup; the empty text until then. Kept by the
    // framework, beside the object.
    static const char16_t* CommandLine();
    static void SetCommandLine(const char16_t* commandLine);

    // The whole job; called once. Returns the process's exit code.
    virtual int RunSetup() const = 0;

protected:
    ~Application() = default;

private:
    const char16_t* name_;
};

class OstrelSetupApp final : public Application {
public:
    constexpr OstrelSetupApp() : Application(u"Ostrel Setup Utility") {}
    int RunSetup() const override;
};

// The one application object of the process.
const Application& TheApp();

// The text after the program's own name (quoted or not) and the characters
// U+0001 to U+0020 that follow it.
const char16_t* SkipProgramName(const char16_t* commandLine);

// What the entry point does: error mode, RunSetup once, the run's exit code.
int RunApplication(const Application& app);

}  // namespace ostrel
