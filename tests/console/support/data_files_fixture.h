#pragma once
// The main window with a 32 KB chip chosen, scripted file dialogs, and the
// binary offset dialog answering with an offset the test sets. Files are made
// in the test's program folder.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "console/ofs_addr_form.h"
#include "main_window_fixture.h"
#include "toolkit/errors.h"
#include "toolkit/format.h"
#include "toolkit/qt/qt_bindings.h"
#include "toolkit/scripted_dialogs.h"

class DataFilesTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    offsetDialog = std::make_unique<TFormOfsAddr>();
    g.FormOfsAddr = offsetDialog.get();
    // The offset dialog as the user answers it: the number typed, then OK.
    previousHook = SetModalHook([this](QDialog& form) {
      shownForms.push_back(form.objectName().toStdString());
      form.show();
      if (&form == offsetDialog.get()) {
        if (whileOffsetDialogOpen) whileOffsetDialogOpen();
        offsetDialog->EditOfsAddr->setText(QString::fromStdString(Format("0x%0.8x", {offsetToEnter})));
        offsetDialog->BitBtnOK->click();
      }
      form.hide();
      return form.result();
    });
  }
  void TearDown() override {
    SetModalHook(std::move(previousHook));
    g.FormOfsAddr = nullptr;
    offsetDialog.reset();
    MainWindowTest::TearDown();
  }

  // FU6813P: 32 KB of flash at 0..0x7FFF, no EEP.
  static void ChooseChip32K() {
    SetChipParams("FU6813P");
    CommitChipSelection("FU6813P");
  }

  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(folder + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return folder + name;
  }
  static std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static std::vector<uint8_t> Pattern(size_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
  }
  static bool FlashHolds(uint32_t at, const std::vector<uint8_t>& bytes) {
    return std::memcmp(g.FlashImage + at, bytes.data(), bytes.size()) == 0;
  }

  // Intel HEX text of bytes at address (below 64 KB): 16-byte data records and
  // the end record, written here independently of the program's writer.
  std::string WriteHex(const std::string& name, uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t at = 0; at < bytes.size(); at += 16) {
      const size_t count = std::min<size_t>(16, bytes.size() - at);
      const uint32_t a = address + static_cast<uint32_t>(at);
      std::vector<uint8_t> record = {static_cast<uint8_t>(count), static_cast<uint8_t>(a >> 8),
                                     static_cast<uint8_t>(a), 0x00};
      record.insert(record.end(), bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + count));
      text += ":" + HexDigits(record, true) + "\r\n";
    }
    text += ":00000001FF\r\n";
    return WriteText(name, text);
  }
  // S-record text of bytes at address (below 64 KB): S1 records and S9.
  std::string WriteSRec(const std::string& name, uint32_t address, const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t at = 0; at < bytes.size(); at += 16) {
      const size_t count = std::min<size_t>(16, bytes.size() - at);
      const uint32_t a = address + static_cast<uint32_t>(at);
      std::vector<uint8_t> record = {static_cast<uint8_t>(count + 3), static_cast<uint8_t>(a >> 8),
                                     static_cast<uint8_t>(a)};
      record.insert(record.end(), bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + count));
      text += "S1" + HexDigits(record, false) + "\r\n";
    }
    text += "S9030000FC\r\n";
    return WriteText(name, text);
  }
  std::string WriteText(const std::string& name, const std::string& text) {
    std::ofstream(folder + name, std::ios::binary) << text;
    return folder + name;
  }
  // The bytes as upper-case hex pairs, then the record's checksum: two's
  // complement of the sum (Intel HEX) or its ones' complement (S-record).
  static std::string HexDigits(const std::vector<uint8_t>& record, bool twosComplement) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    uint8_t sum = 0;
    for (uint8_t b : record) {
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
      sum = static_cast<uint8_t>(sum + b);
    }
    const uint8_t check = twosComplement ? static_cast<uint8_t>(-sum) : static_cast<uint8_t>(~sum);
    out += kDigits[check >> 4];
    out += kDigits[check & 15];
    return out;
  }

  // CRC-16/CCITT-FALSE of FlashImage[first..last], bit by bit.
  static uint16_t Crc16(uint32_t first, uint32_t last) {
    uint16_t crc = 0xFFFF;
    for (uint32_t at = first; at <= last; ++at) {
      crc ^= static_cast<uint16_t>(g.FlashImage[at] << 8);
      for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
  }
  // Runs a load command on `path`, which must raise the file error naming
  // it; gives the error's code (-1 when none was raised).
  int FileErrorOfLoad(void (TOrvantBEMxPrg::*handler)(QObject*), const std::string& path) {
    files.Choose(path);
    try {
      (window.get()->*handler)(nullptr);
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      return e.ErrorCode();
    }
    ADD_FAILURE() << "no file error";
    return -1;
  }

  bool Logged(const std::string& line) {
    return std::find(LogLines().begin(), LogLines().end(), line) != LogLines().end();
  }

  ScriptedFileDialogs files;
  std::unique_ptr<TFormOfsAddr> offsetDialog;
  uint32_t offsetToEnter = 0;
  // What happens elsewhere while the user has the offset dialog open.
  std::function<void()> whileOffsetDialogOpen;
  std::vector<std::string> shownForms;
  ModalHook previousHook;
};
