#pragma once
// The build folder: ORV_TEST_BUILD_DIR when ctest passes it, else the parent
// of the folder that holds the test executable (build/tests/console_tests).

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string TestBuildDir() {
  if (const char* dir = std::getenv("ORV_TEST_BUILD_DIR"); dir && *dir) return dir;
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().parent_path().string();
}
