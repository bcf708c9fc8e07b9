// The program body's checks before Qt starts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QLabel>

#include "catalogue/qt/chip_select_form.h"
#include "console/about_form.h"
#include "console/config_sn_form.h"
#include "console/ofs_addr_form.h"
#include "console/main_window.h"
#include "console/program.h"
#include "shared/state.h"
#include "support/build_dir.h"

namespace {

TEST(ProgramBody, DisplayIsAvailableWithAnyOfTheThreeVariables) {
  struct Case {
    const char* display;
    const char* wayland;
    const char* platform;
    bool available;
  } cases[] = {
      {nullptr, nullptr, nullptr, false}, {"", "", "", false},          {":0", nullptr, nullptr, true},
      {nullptr, "wayland-0", nullptr, true}, {nullptr, nullptr, "offscreen", true}, {"", "", "xcb", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayAvailable(c.display, c.wayland, c.platform), c.available)
        << (c.display ? c.display : "null") << " " << (c.wayland ? c.wayland : "null") << " "
        << (c.platform ? c.platform : "null");
}

TEST(ProgramBody, ArgumentsAreThoseAfterTheProgramName) {
  char program[] = "OrvantGenBEM", project[] = "a.ptv", off[] = "off";
  char* argv[] = {program, project, off, nullptr};
  EXPECT_EQ(ProgramArguments(3, argv), (std::vector<std::string>{"a.ptv", "off"}));
  EXPECT_TRUE(ProgramArguments(1, argv).empty());
}

TEST(ProgramBody, WithoutDisplayTheProgramSaysHowToRunHeadless) {
  std::string program = TestBuildDir() + "/OrvantGenBEM";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + program + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  std::array<char, 256> chunk;
  while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe)) output.append(chunk.data(), n);
  int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kNoDisplayExitCode);
  EXPECT_EQ(output, NoDisplayMessage());
}

TEST(ProgramBody, CreatesTheCaptionedMainWindowAndItsHiddenForms) {
  {
    TOrvantBEMxPrg mainWindow;
    CreateForms(mainWindow);
    EXPECT_EQ(g.OrvantBEMxPrg, &mainWindow);
    EXPECT_EQ(mainWindow.windowTitle().toStdString(), "OrvantGenBEM Programmer Wizard");
    ASSERT_NE(g.AboutForm, nullptr);
    EXPECT_EQ(g.AboutForm->windowTitle().toStdString(), "About");
    EXPECT_EQ(g.AboutForm->Label1->text().toStdString(), "OrvantGenBEM Flash MCU Programmer");
    EXPECT_EQ(g.AboutForm->Label2->text().toStdString(), "Version V1.7");
    EXPECT_FALSE(g.AboutForm->Label3->text().isEmpty());
    const QWidget* forms[] = {g.AboutForm, g.ChipSelectForm, g.FormOfsAddr, g.ConfigSNForm};
    for (const QWidget* form : forms) {
      ASSERT_NE(form, nullptr);
      EXPECT_EQ(form->parent(), &mainWindow);
      EXPECT_TRUE(form->isHidden());
    }
  }
}

}  // namespace
