#pragma once
// The program's settings file "ConfigOvg.ini" as the simulated units need it:
// a first line (never read), "[Connection]", "TOTDEV=N" and one "DEVn=port"
// line per unit, channel 1 first. Used by the orv-simunit executable and by
// the tests that start units, so both write what the program reads.

#include <string>
#include <vector>

inline constexpr const char* kConnectionFileName = "ConfigOvg.ini";

// The file's lines for ports (at most 8 are named; channel n+1 takes ports[n]).
std::vector<std::string> ConnectionConfigLines(const std::vector<std::string>& ports);

// Writes folder/ConfigOvg.ini (CR LF line ends, as the program writes its
// text files) and returns its path. Throws EInOutError when it cannot.
std::string WriteConnectionConfig(const std::string& folder, const std::vector<std::string>& ports);

// folder/name, with one '/' between them.
std::string FolderFile(const std::string& folder, const std::string& name);
