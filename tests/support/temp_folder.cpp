#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <stdexcept>
#include <system_error>

TempFolder::TempFolder(std::string_view prefix) {
  std::string pattern = ::testing::TempDir() + std::string(prefix) + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder under " + ::testing::TempDir());
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
