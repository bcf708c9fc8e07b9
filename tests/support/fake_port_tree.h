#pragma once
// A sysfs tty class folder and a device folder in a temporary folder, for
// the port listing: each port names its driver, and its device entry is a link
// to a real pseudo-terminal's slave. Removed with the object.

#include <filesystem>
#include <string>

#include "support/temp_folder.h"

class FakePortTree {
public:
  FakePortTree();
  FakePortTree(const FakePortTree&) = delete;
  FakePortTree& operator=(const FakePortTree&) = delete;

  std::string Sys() const { return (root_ / "sys").string(); }
  std::string Dev() const { return (root_ / "dev").string(); }

  // A port bound to `driver` ("" for none); with a device entry linked to
  // `devicePath` when it is not empty.
  void AddPort(const std::string& name, const std::string& driver, const std::string& devicePath);

private:
  TempFolder folder_{"orv_ports_"};
  std::filesystem::path root_;
};
