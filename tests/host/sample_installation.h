// A machine with TAMbirox 2000 installed, as the installer leaves it, plus
// things of the user's that must survive an uninstallation. The Wine tests
// seed the same installation, so both platforms' traces can be compared.
#ifndef TESTS_HOST_SAMPLE_INSTALLATION_H
#define TESTS_HOST_SAMPLE_INSTALLATION_H

#include <string>
#include <vector>

extern const char InstallDir[];      // with its trailing backslash
extern const char ProgramsDir[];
extern const char DesktopDir[];
extern const char UninstallKeyPath[];

// The expected lists, written out rather than taken from the program.
extern const std::vector<std::string> ExpectedFiles;
extern const std::vector<std::string> ExpectedFileTypeKeys;
extern const std::vector<std::string> ExpectedSettingsKeys;
extern const std::vector<std::string> SurvivingFiles;  // full paths

// Resets the stand-in and seeds the whole installation.
void SeedSampleInstallation();

// Reads a golden trace from tests/traces, without its '#' comment lines.
std::string ReadTrace(const std::string &name);

#endif
