#include "support/process_state.h"

#include <clocale>

#include "catalogue/chip_catalogue.h"
#include "link/channel_log.h"
#include "link/firmware.h"
#include "shared/state.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/program_folder.h"
#include "toolkit/random.h"

void ResetProcessState() {
  ResetState();
  ResetFirmwareState();
  ResetChipSelection();
  ResetRunCounts();
  SetRandSeed(0);
  SetClockForTest(nullptr);
  SetLocaleFormatsForTest("", "");
  std::setlocale(LC_TIME, "C");
  SetProgramFolderForTest("");
  SetMessageBoxResponder(nullptr);
  SetMessageBoxObserver(nullptr);
  SetBeepHook(nullptr);
  SetFileDialogResponder(nullptr);
}
