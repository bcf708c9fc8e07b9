#include "simunit/connection_file.h"

#include <algorithm>

#include "toolkit/text_file.h"

namespace {

constexpr size_t kMaxChannels = 8;

}  // namespace

std::vector<std::string> ConnectionConfigLines(const std::vector<std::string>& ports) {
  const size_t count = std::min(ports.size(), kMaxChannels);
  std::vector<std::string> lines = {"; simulated programmer units", "[Connection]",
                                    "TOTDEV=" + std::to_string(count)};
  for (size_t i = 0; i < count; ++i) lines.push_back("DEV" + std::to_string(i + 1) + "=" + ports[i]);
  return lines;
}

std::string FolderFile(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

std::string WriteConnectionConfig(const std::string& folder, const std::vector<std::string>& ports) {
  const std::string path = FolderFile(folder, kConnectionFileName);
  WriteTextLines(path, ConnectionConfigLines(ports));
  return path;
}
