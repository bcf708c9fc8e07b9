#include "console/connection_config.h"

#include <climits>
#include <cstddef>
#include <utility>

#include "toolkit/ascii.h"

namespace {

constexpr std::string_view kSectionLine = "[Connection]";
constexpr std::string_view kCountKey = "TOTDEV";
constexpr std::string_view kPortKey = "DEV";
// "DEV" and its channel digit.
constexpr size_t kPortKeyLength = 4;
constexpr size_t kCountDigitFrom = 5;  // the 6th character
// The longest path the system opens. A longer name names no port; kept, it
// would only reach the log and the port list, whose layout stalls the window.
constexpr size_t kLongestPortName = PATH_MAX;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The port name of a DEV line, taken from the line as written.
std::string PortNameOf(std::string_view line) {
  std::string_view rest = line.substr(kPortKeyLength);
  size_t equals = rest.find('=');
  if (equals != std::string_view::npos) rest.remove_prefix(equals + 1);
  return std::string(Trim(rest));
}

}  // namespace

uint8_t ParseDigitAfter6(std::string_view line) {
  for (size_t i = kCountDigitFrom; i < line.size(); ++i)
    if (line[i] >= '0' && line[i] <= '9') return static_cast<uint8_t>(line[i] - '0');
  return 0;
}

ConnectionConfig ParseConnectionConfig(const std::vector<std::string>& lines) {
  ConnectionConfig config;
  size_t at = 1;  // the first line is never examined
  while (at < lines.size() && lines[at] != kSectionLine) ++at;
  if (at >= lines.size()) return config;
  for (++at; at < lines.size(); ++at) {
    const std::string& line = lines[at];
    std::string upper = UpperAscii(line);
    if (upper.starts_with(kCountKey)) {
      config.deviceCount = ParseDigitAfter6(upper);
    } else if (upper.starts_with(kPortKey) && upper.size() >= kPortKeyLength) {
      char digit = upper[kPortKeyLength - 1];
      if (digit < '1' || digit > '8') continue;
      std::string name = PortNameOf(line);
      if (name.size() > kLongestPortName) continue;
      config.ports.push_back({static_cast<uint8_t>(digit - '1'), std::move(name)});
    }
  }
  return config;
}
