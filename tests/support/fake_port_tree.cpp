#include "support/fake_port_tree.h"

#include <stdlib.h>

#include <stdexcept>

namespace fs = std::filesystem;

FakePortTree::FakePortTree() {
  char folder[] = "/tmp/orv_ports_XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("no temporary folder");
  root_ = folder;
  fs::create_directories(root_ / "sys");
  fs::create_directories(root_ / "dev");
  fs::create_directories(root_ / "drivers");
}

FakePortTree::~FakePortTree() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void FakePortTree::AddPort(const std::string& name, const std::string& driver, const std::string& devicePath) {
  const fs::path port = root_ / "sys" / name;
  fs::create_directories(port / "device");
  if (!driver.empty()) {
    fs::create_directories(root_ / "drivers" / driver);
    fs::create_directory_symlink(root_ / "drivers" / driver, port / "device" / "driver");
  }
  if (!devicePath.empty()) fs::create_symlink(devicePath, root_ / "dev" / name);
}
