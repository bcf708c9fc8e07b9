#include "console/program.h"

int main(int argc, char** argv) { return ProgramBody(argc, argv); }
