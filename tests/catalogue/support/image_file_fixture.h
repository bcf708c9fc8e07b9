#pragma once
// A chosen flash / EEP range over the clean process of every test, a
// temporary folder removed afterwards and scripted message boxes: what the HEX, S-record and
// project file tests start from.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "shared/state.h"
#include "support/temp_folder.h"
#include "toolkit/scripted_dialogs.h"

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRanges(0, 0x3FFF, kNoEepAddress, kNoEepAddress); }

  static void SetRanges(uint32_t flashStart, uint32_t flashEnd, uint32_t eepStart, uint32_t eepEnd) {
    g.FlashStart = flashStart;
    g.FlashEnd = flashEnd;
    g.EepStart = eepStart;
    g.EepEnd = eepEnd;
  }

  std::string PathOf(const std::string& name) const { return tempFolder_.File(name); }

  std::string WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream out(PathOf(name), std::ios::binary);
    out << text;
    return PathOf(name);
  }

  // Lines joined with CR LF, the last one ended too.
  static std::string Lines(const std::vector<std::string>& lines, const char* end = "\r\n") {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // The file split at CR LF; fails the test on a bare LF.
  static std::vector<std::string> FileLines(const std::string& path) {
    const std::string text = ReadFile(path);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        ADD_FAILURE() << "last line without CR LF";
        break;
      }
      lines.push_back(text.substr(start, end - start));
      EXPECT_EQ(lines.back().find('\n'), std::string::npos);
      start = end + 2;
    }
    return lines;
  }

  TempFolder tempFolder_{"orv_img_"};
  const std::filesystem::path& folder_ = tempFolder_.Path();
  ScriptedMessageBoxes boxes_;
};
