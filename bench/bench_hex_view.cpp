// Times the flash view's rebuild over 1 MB on the real main window offscreen:
// ShowFlashGrid (the model reset and its snapshot) plus formatting and
// painting the cells of one visible screen. Prints each run and, last, the
// median: "hex view 1 MB: T ms".
#include <QApplication>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "console/main_window.h"
#include "shared/state.h"
#include "toolkit/program_folder.h"
#include "toolkit/scripted_dialogs.h"

namespace {

constexpr int kRuns = 15;
constexpr uint32_t kOneMegabyteEnd = 0xFFFFF;

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window's first show looks for its files here and makes its Log folder.
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "orv_bench_hex_view";
  std::filesystem::create_directories(folder);
  SetProgramFolderForTest(folder.string() + "/");
  ScriptedMessageBoxes boxes;  // the missing firmware image's notice

  QApplication application(argc, argv);
  double medianMs = 0;
  {
    TOrvantBEMxPrg window;
    g.OrvantBEMxPrg = &window;
    window.show();
    window.ViewPageCtrl->setCurrentWidget(window.TabSheetFlash);
    QApplication::processEvents();
    for (size_t i = 0; i < 0x100000; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 13 + (i >> 12));

    std::vector<double> runs;
    for (int run = 0; run < kRuns; ++run) {
      g.FlashImage[run] ^= 0x5A;  // each run shows a changed image
      const auto begin = std::chrono::steady_clock::now();
      window.ShowFlashGrid(0, kOneMegabyteEnd);
      QPixmap screen = window.HexViewer->grab();
      const auto end = std::chrono::steady_clock::now();
      if (window.HexViewer->model()->rowCount() != 65536 || screen.isNull()) {
        std::fprintf(stderr, "the view did not show 65,536 rows\n");
        return 1;
      }
      runs.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
      std::printf("run %d: %.2f ms\n", run + 1, runs.back());
    }
    std::sort(runs.begin(), runs.end());
    medianMs = runs[runs.size() / 2];
    g.OrvantBEMxPrg = nullptr;
    g.LogMemo = nullptr;
  }
  SetProgramFolderForTest("");
  std::filesystem::remove_all(folder);
  std::printf("hex view 1 MB: %.2f ms\n", medianMs);
  return 0;
}
