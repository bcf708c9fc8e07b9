#pragma once
// The folder of the running program, ending with '/'. The settings file, the
// firmware image and the Log folder live there. Tests point it elsewhere.

#include <string>

std::string ProgramFolder();
// Empty restores the real folder.
void SetProgramFolderForTest(std::string folder);
