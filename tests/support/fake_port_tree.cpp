#include "support/fake_port_tree.h"

namespace fs = std::filesystem;

FakePortTree::FakePortTree() {
  root_ = folder_.Path();
  fs::create_directories(root_ / "sys");
  fs::create_directories(root_ / "dev");
  fs::create_directories(root_ / "drivers");
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
