#pragma once
// The program body: creates the application and its windows and runs the
// message loop; returns the loop's exit code.
int ProgramBody(int argc, char** argv);
