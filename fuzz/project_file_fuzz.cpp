// LoadProjectFile on the input as a file, then ApplyProjectCfg when it loads,
// as the console does. The file lives in the temporary folder for the run.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "catalogue/data_file_io.h"
#include "catalogue/project_file.h"
#include "shared/state.h"

namespace {
std::string& InputPath() {
  static std::string path = [] {
    const char* dir = getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/orv_fuzz_project_XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    return pattern;
  }();
  return path;
}

struct RemoveAtExit {
  ~RemoveAtExit() { std::remove(InputPath().c_str()); }
} removeAtExit;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g.CommandLineMode = 1;
  WriteWholeFile(InputPath(), std::string_view(reinterpret_cast<const char*>(data), size));
  if (LoadProjectFile(InputPath()) == kProjectLoaded) {
    ApplyProjectCfg();
    // What the loaded sizes promise must lie inside the buffers.
    if (g.FlashEnd >= kFlashImageBytes || g.BaseAddress + uint64_t{g.RomSizeKB} * 1024 > kFlashImageBytes ||
        g.EepSize > kEepImageBytes)
      __builtin_trap();
  }
  return 0;
}
