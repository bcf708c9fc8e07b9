#pragma once
// Every writer the window's save handlers call (the image formats and the
// project) and make_project run as a separate process, as the rows of one
// table, over a fixture that has a 16 KB chip chosen, an image in the flash
// buffer and the HEX file the tool makes its job from.

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>

#include "catalogue/binary_file.h"
#include "catalogue/intel_hex.h"
#include "catalogue/project_file.h"
#include "catalogue/srecord.h"
#include "console/support/build_dir.h"
#include "image_file_fixture.h"
#include "project_support.h"
#include "support/tool_run.h"
#include "toolkit/random.h"

struct Saver {
  const char* name;
  // Saves to `path`; `dataFile` is the HEX file the job is made from and
  // `makeProject` the tool that makes it.
  void (*save)(const std::string& path, const std::string& dataFile, const std::string& makeProject);
};
inline void PrintTo(const Saver& saver, std::ostream* os) { *os << saver.name; }

inline constexpr const char* kMakeProjectSaver = "MakeProjectTool";

inline const Saver kSavers[] = {
    {"Hex", [](const std::string& path, const std::string&, const std::string&) {
       WriteHexFile(path, g.FlashImage, kFlashImageBytes, 0, g.FlashStart, g.FlashEnd);
     }},
    {"SRecord", [](const std::string& path, const std::string&, const std::string&) {
       WriteSRecFile(path, g.FlashImage, kFlashImageBytes, 0, g.FlashStart, g.FlashEnd);
     }},
    {"Binary", [](const std::string& path, const std::string&, const std::string&) {
       WriteBinFile(path, g.FlashImage, kFlashImageBytes, 0, g.FlashEnd - g.FlashStart);
     }},
    {"Project", [](const std::string& path, const std::string&, const std::string&) {
       SaveProjectFile(path, g.ChipSeries, CopyOfflineInfoBlock);
     }},
    {kMakeProjectSaver, [](const std::string& path, const std::string& dataFile, const std::string& makeProject) {
       const ToolRun run = RunTool("'" + makeProject + "' FU6811N '" + dataFile + "' '" + path + "'");
       if (run.status != 0) throw std::runtime_error(run.output);
     }},
};

class SaverFixture : public ImageFileTest {
 protected:
  void SetUp() override {
    ImageFileTest::SetUp();
    g.OrvantBEMxPrg = &window_;
    SetChipParams("FU6811N");
    CommitChipSelection("FU6811N");
    g.ChipSeries = kFortiorSeries;
    for (uint32_t a = 0; a <= g.FlashEnd; ++a) g.FlashImage[a] = static_cast<uint8_t>(a * 7 + (a >> 9));
    g.DataFileName = "app.hex";
    SetRandSeed(0x1234);
    WriteHexFile(dataFile_, g.FlashImage, kFlashImageBytes, 0, 0, 0x0FFF);
  }
  void TearDown() override {
    g.OrvantBEMxPrg = nullptr;
    ImageFileTest::TearDown();
  }

  static bool SavesWithTheTool(const Saver& saver) { return std::string(saver.name) == kMakeProjectSaver; }
  void SaveWith(const Saver& saver, const std::string& path) const { saver.save(path, dataFile_, makeProject_); }

  std::string dataFile_ = PathOf("app.hex");
  std::string makeProject_ = TestBuildDir() + "/tools/make_project";
  StandInWindow window_;
};
