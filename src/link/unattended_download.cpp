#include "link/unattended_download.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "link/operation_steps.h"
#include "shared/state.h"
#include "toolkit/text_file.h"

namespace {
constexpr const char* kResultFileName = "ResDW.Txt";
}  // namespace

uint8_t ChannelsInUse() { return std::min<uint8_t>(g.DeviceCount, kChannels); }

bool AllUnitsFound() { return g.FoundDevices >= ChannelsInUse(); }

bool UpgradedUnitsReady() {
  const uint8_t inUse = ChannelsInUse();
  uint8_t ready = 0;
  for (uint8_t ch = 0; ch < inUse; ++ch)
    if (g.ChannelUnready[ch] == 0) ++ready;
  return ready == inUse;
}

void StartDownloadOnChannelsInUse() {
  const uint8_t inUse = ChannelsInUse();
  for (uint8_t ch = 0; ch < inUse; ++ch) {
    g.RxCount[ch] = 0;
    StartDownload(ch);
  }
}

bool UnattendedDownloadFinished() {
  return g.ExitAfterDownload != 0 && g.DownloadOkCount > 0 && g.DownloadOkCount == g.FoundDevices;
}

std::string DownloadResultPath() { return g.ProgramDir + kResultFileName; }

void WriteDownloadResult() { WriteTextLines(DownloadResultPath(), {kDownloadSuccessText}); }

std::string RemoveOldDownloadResult() {
  if (unlink(DownloadResultPath().c_str()) == 0 || errno == ENOENT) return {};
  return std::strerror(errno);
}
