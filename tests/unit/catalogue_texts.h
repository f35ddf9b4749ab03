// The texts the tests compare against, written once: the catalogue's
// messages (English, and German where a test shows the language switch) and
// the system's texts for the errors the tests make calls fail with, as a
// report shows them (the final line feed removed, a carriage return kept).
#pragma once

#include <string>

namespace ostrel_test {

// Command line
inline const std::string kInvalidCommandLine = "Invalid command line. Call 'OstrelSetup help' for more information.";
inline const std::string kInvalidCommandLineDe =
    "Ung\xC3\xBCltige Kommandozeile. Rufen Sie 'OstrelSetup help' f\xC3\xBCr mehr Informationen auf.";
inline const std::string kHardwareIdMissing = "Invalid command line - hardware ID missing.";
inline const std::string kServiceNameMissing = "Invalid command line - service name missing.";
inline const std::string kSectionNameMissing = "Invalid command line - section name missing.";

// INF file, devices and sections
inline const std::string kOpenInfFailed = "Open of .inf file failed.";
inline const std::string kGetClassFailed = "Get device class from INF file failed.";
inline const std::string kClassGuidMissing = "ClassGuid entry missing in INF file.";
inline const std::string kOpenQueueFailed = "Open of file queue failed.";
inline const std::string kQueueFilesFailed = "Install of files from INF section failed.";
inline const std::string kCommitFailed = "Execution of file queue operations failed.";
inline const std::string kInstallSectionFailed = "Install of INF section failed.";

// Services
inline const std::string kOpenManagerFailed = "Open Service Control Manager failed.";
inline const std::string kStopNotCompleted = "Stop of service Slow not completed: the service reports STOP_PENDING.";

// Restart
inline const std::string kRebootRequired = "A reboot is required after setup is completed.";
inline const std::string kRebootRequiredDe = "Ein Neustart ist erforderlich nachdem das Setup beendet wurde.";

// System texts
inline const std::string kAccessDeniedText = "Access is denied.\r";
inline const std::string kFileNotFoundText = "The system cannot find the file specified.\r";
inline const std::string kNoSuchServiceText = "The specified service does not exist as an installed service.\r";
inline const std::string kNoSuchDevinstText = "The device instance does not exist in the hardware tree.\r";
inline const std::string kWow64Text = "The operation is not allowed in a WOW64 process.\r";

}  // namespace ostrel_test
