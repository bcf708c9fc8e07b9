// The main window's file commands through the real window offscreen, with
// scripted file dialogs, message boxes and offset dialog.
#include <QTabWidget>
#include <QTableView>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "catalogue/data_file_kind.h"
#include "console/hex_grid_model.h"

#include "support/data_files_fixture.h"
#include "support/special_files.h"
#include "toolkit/errors.h"
#include "toolkit/format.h"

namespace {

constexpr const char* kAllDataFilter =
    "All Files (*.*)|*.*|All Binary Files (*.Bin)|*.Bin|All Intel Hex Files (*.Hex)|*.Hex|"
    "All Motorola Hex Files(*.S19)|*.S19;|All Hex/Binary Files (*.Hex,*.S1*,*.Bin)|*.Hex;*.S1*;*.Bin";

// What the log shows after a data file was read.
std::vector<std::string> FileLines(uint32_t first, uint32_t last, uint32_t sum) {
  return {"",
          Format("> 14:03:22 目标文件首地址 = 0x%0.8x.", {first}),
          Format("> 14:03:22 目标文件尾地址 = 0x%0.8x.", {last}),
          Format("> 14:03:22 目标文件校验和 = 0x%0.8x", {sum})};
}

uint32_t SumOf(const std::vector<uint8_t>& bytes) {
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  return sum;
}

TEST_F(DataFilesTest, LoadCommandsWithoutChipAskForOneAndOpenNoDialog) {
  for (auto handler : {&TOrvantBEMxPrg::FileOpenBtnClick, &TOrvantBEMxPrg::SpdBtnLoadMoreClick}) {
    boxes.Clear();
    (window.get()->*handler)(nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "请先选择芯片型号！");
    EXPECT_EQ(boxes.Shown()[0].type, MsgDlgType::Information);
    EXPECT_EQ(boxes.Shown()[0].caption, "Information");
  }
  EXPECT_TRUE(files.Opened().empty());
  EXPECT_TRUE(LogLines().empty());
  EXPECT_EQ(g.DataLoaded, 0);
}

TEST_F(DataFilesTest, OpenDialogOffersTheDataFiltersWithTheFifthChosen) {
  ChooseChip32K();
  files.Cancel();
  window->FileOpenBtnClick(nullptr);
  ASSERT_EQ(files.Opened().size(), 1u);
  EXPECT_EQ(files.Opened()[0].Filter, kAllDataFilter);
  EXPECT_EQ(files.Opened()[0].FilterIndex, 5);
  EXPECT_EQ(files.Opened()[0].Kind, FileDialogKind::Open);
}

TEST_F(DataFilesTest, CancelledDialogsChangeNothing) {
  ChooseChip32K();
  g.FlashImage[0] = 0x5A;
  for (auto handler : {&TOrvantBEMxPrg::FileOpenBtnClick, &TOrvantBEMxPrg::SpdBtnLoadMoreClick,
                       &TOrvantBEMxPrg::SpdBtnLdPrjClick, &TOrvantBEMxPrg::FileSaveBtnClick,
                       &TOrvantBEMxPrg::SavetoProjectFile1Click}) {
    files.Cancel();
    (window.get()->*handler)(nullptr);
  }
  g.DataLoaded = 1;
  files.Cancel();
  window->FileSaveBtnClick(nullptr);
  files.Cancel();
  window->SavetoProjectFile1Click(nullptr);
  EXPECT_EQ(files.Opened().size(), 5u);  // the first save and project save stop at "no data"
  EXPECT_EQ(g.FlashImage[0], 0x5A);
  EXPECT_EQ(window->StatusPanelText(2), "");
  EXPECT_EQ(g.DataFileName, "");
  EXPECT_TRUE(LogLines().empty());
}

struct ReaderCase {
  const char* name;
  const char* fileName;
  bool intelHex;  // else S-record
};
void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class ReaderByExtensionTest : public DataFilesTest, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(ReaderByExtensionTest, ReadsTheFileWithItsFormatsReader) {
  ChooseChip32K();
  const std::vector<uint8_t> data = Pattern(40, 17);
  const std::string path = GetParam().intelHex ? WriteHex(GetParam().fileName, 0x1230, data)
                                               : WriteSRec(GetParam().fileName, 0x1230, data);
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(FlashHolds(0x1230, data));
  EXPECT_EQ(g.FileStart, 0x1230u);
  EXPECT_EQ(g.FileEnd, 0x1230u + 40 - 1);
  EXPECT_EQ(g.FileSum, SumOf(data));
  EXPECT_EQ(g.DataLoaded, 1);
  std::vector<std::string> expected = {"> 14:03:22 File \"" + path + "\" has been loaded!"};
  for (const std::string& line : FileLines(0x1230, 0x1257, SumOf(data))) expected.push_back(line);
  ASSERT_GE(LogLines().size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(LogLines().begin(), LogLines().begin() + 5), expected);
  EXPECT_TRUE(shownForms.empty());  // no offset asked
}

INSTANTIATE_TEST_SUITE_P(Extensions, ReaderByExtensionTest,
                         ::testing::Values(ReaderCase{"hex", "image.hex", true}, ReaderCase{"HEX", "image.HEX", true},
                                           ReaderCase{"s19", "image.s19", false},
                                           ReaderCase{"S19A", "image.S19A", false},
                                           ReaderCase{"S10", "image.S10", false}),
                         [](const auto& info) { return std::string(info.param.name); });

enum class Unreadable { Missing, Fifo, Folder, NoReadPermission };
struct UnreadableCase {
  const char* name;
  const char* fileName;
  Unreadable kind;
};
void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class UnreadableDataFileTest : public DataFilesTest, public ::testing::WithParamInterface<UnreadableCase> {};

// A file that the regular-file opener refuses is refused before anything
// changes, whatever its format: the file error is raised for the top-level
// report, and the image, DataLoaded, the name, the path panel and the log
// stay as they were; a binary file asks no offset.
TEST_P(UnreadableDataFileTest, ShowsTheFileErrorAndChangesNothing) {
  const UnreadableCase& c = GetParam();
  const std::string path = folder + c.fileName;
  switch (c.kind) {
    case Unreadable::Missing:
      break;
    case Unreadable::Fifo:
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      break;
    case Unreadable::Folder:
      std::filesystem::create_directory(path);
      break;
    case Unreadable::NoReadPermission:
      if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
      WriteFile(c.fileName, Pattern(64, 1));
      std::filesystem::permissions(path, std::filesystem::perms::none);
      break;
  }
  ChooseChip32K();
  g.FlashImage[0] = 0x5A;
  g.DataLoaded = 1;
  g.DataFileName = "earlier.bin";
  for (auto handler : {&TOrvantBEMxPrg::FileOpenBtnClick, &TOrvantBEMxPrg::SpdBtnLoadMoreClick})
    FileErrorOfLoad(handler, path);
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_EQ(g.FlashImage[0], 0x5A);
  EXPECT_EQ(g.DataFileName, "earlier.bin");
  EXPECT_EQ(window->StatusPanelText(2), "");
  EXPECT_TRUE(LogLines().empty());
  EXPECT_TRUE(shownForms.empty());
  EXPECT_TRUE(boxes.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableDataFileTest,
                         ::testing::Values(UnreadableCase{"MissingHex", "missing.hex", Unreadable::Missing},
                                           UnreadableCase{"MissingSRecord", "missing.s19", Unreadable::Missing},
                                           UnreadableCase{"MissingBinary", "missing.bin", Unreadable::Missing},
                                           UnreadableCase{"FifoBinary", "pipe.bin", Unreadable::Fifo},
                                           UnreadableCase{"FolderBinary", "folder.bin", Unreadable::Folder},
                                           UnreadableCase{"UnreadableBinary", "locked.bin",
                                                          Unreadable::NoReadPermission}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  const char* fileName;
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedDataFileTest : public DataFilesTest, public ::testing::WithParamInterface<RefusedCase> {};

// An extension that no reader takes is refused before anything changes: the
// image, DataLoaded and the log stay as they were.
TEST_P(RefusedDataFileTest, IsReportedAndChangesNothing) {
  ChooseChip32K();
  const std::string path = WriteFile(GetParam().fileName, Pattern(64, 1));
  g.FlashImage[0] = 0x5A;
  g.FileStart = 0x11;
  for (auto handler : {&TOrvantBEMxPrg::FileOpenBtnClick, &TOrvantBEMxPrg::SpdBtnLoadMoreClick}) {
    boxes.Clear();
    files.Choose(path);
    (window.get()->*handler)(nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "File \"" + path + "\" is not a .HEX, .S19 or .BIN file!");
    EXPECT_EQ(boxes.Shown()[0].type, MsgDlgType::Information);
  }
  EXPECT_EQ(g.DataLoaded, 0);
  EXPECT_EQ(g.FlashImage[0], 0x5A);
  EXPECT_EQ(g.FileStart, 0x11u);
  EXPECT_EQ(g.DataFileName, "");
  EXPECT_EQ(window->StatusPanelText(2), "");
  EXPECT_TRUE(LogLines().empty());
  EXPECT_TRUE(shownForms.empty());
}

INSTANTIATE_TEST_SUITE_P(Extensions, RefusedDataFileTest,
                         ::testing::Values(RefusedCase{"S1", "image.S1"}, RefusedCase{"S", "image.S"},
                                           RefusedCase{"HEXA", "image.HEXA"}, RefusedCase{"NoExtension", "image"},
                                           RefusedCase{"Text", "image.txt"}, RefusedCase{"DotOnly", "image."},
                                           RefusedCase{"S1Letter", "image.S1X"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataFilesTest, ExtensionComesFromTheFileNameNotFromItsFolder) {
  ChooseChip32K();
  std::filesystem::create_directory(folder + "job.bin");
  const std::string path = WriteFile("job.bin/image", Pattern(16, 1));
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"File \"" + path + "\" is not a .HEX, .S19 or .BIN file!"});
  EXPECT_EQ(g.DataLoaded, 0);
}

TEST_F(DataFilesTest, BinaryFileLandsAtItsOffsetWithTheLowFourBitsCleared) {
  ChooseChip32K();
  const std::vector<uint8_t> data = Pattern(300, 3);
  const std::string path = WriteFile("image.bin", data);
  offsetToEnter = 0x7009;
  g.FlashImage[0x6FFF] = 0x5A;
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  EXPECT_EQ(shownForms, std::vector<std::string>{"FormOfsAddr"});
  EXPECT_TRUE(FlashHolds(0x7000, data));
  // Blanked by the fresh load; choosing the chip set FillZero.
  EXPECT_EQ(g.FlashImage[0x6FFF], 0x00);
  EXPECT_EQ(g.FlashImage[0x7000 + 300], 0x00);
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_EQ(g.FileStart, 0u);
  EXPECT_EQ(g.FileEnd, 300u);
  EXPECT_EQ(g.FileSum, SumOf(data));
  EXPECT_EQ(g.DataFileName, "image.bin");
  EXPECT_EQ(window->StatusPanelText(2), path);
  EXPECT_EQ(window->StatusPanelText(0), Format("文件校验和：0x%0.8x", {SumOf(data)}));
  std::vector<std::string> expected = {"> 14:03:22 File \"" + path + "\" has been loaded!"};
  for (const std::string& line : FileLines(0, 300, SumOf(data))) expected.push_back(line);
  ASSERT_GE(LogLines().size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(LogLines().begin(), LogLines().begin() + 5), expected);
  // Then the checksums of the whole chip range, and the views.
  const uint16_t crc = Crc16(0, 0x7FFF);
  EXPECT_EQ(g.ImageCrc16, crc);
  EXPECT_EQ(window->StatusPanelText(1), Format("芯片校验和：0x%0.4x", {crc}));
  EXPECT_TRUE(Logged(Format("> 14:03:22 Chip Main Flash CRC16 CheckSum = 0x%0.4x.", {crc})));
  EXPECT_EQ(window->HexViewerCells->rowCount(), 0x8000 / 16);
  EXPECT_EQ(window->HexViewer->model()->index(0x700, 0).data().toString().toStdString(), "0x00007000");
  EXPECT_EQ(window->HexViewer->model()->index(0x700, 1).data().toString().toStdString(),
            Format("%0.2x", {data[0]}));
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(window->ViewPageCtrl->currentIndex(), 0);
}

TEST_F(DataFilesTest, BinaryFileLongerThanTheChipIsReportedAndCountsWhatWasRead) {
  ChooseChip32K();
  const std::string path = WriteFile("big.BIN", Pattern(40 * 1024, 9));
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"地址超出芯片有效数据范围！"});
  // The chunk that crosses the limit is taken whole.
  EXPECT_EQ(g.FileEnd, 32u * 1024 + 256);
  EXPECT_EQ(LogLines()[3], "> 14:03:22 目标文件尾地址 = 0x00008100.");
  EXPECT_EQ(g.FlashImage[32 * 1024 + 256], 0x00);
}

struct ChipEndCase {
  const char* name;
  uint32_t offset;     // as typed into the offset dialog
  uint32_t fileBytes;
  bool reported;       // "地址超出芯片有效数据范围！" shown
  uint32_t taken;      // bytes stored from the aligned offset; 0: refused
};
void PrintTo(const ChipEndCase& c, std::ostream* os) { *os << c.name; }

class BinaryAtTheChipEndTest : public DataFilesTest, public ::testing::WithParamInterface<ChipEndCase> {};

// On a 32 KB chip the size limit is the room between the aligned offset and
// the chip's flash end: a file that runs past it is reported (the chunk that
// crosses is kept whole, as the reader keeps it), and an offset at or past the
// end is refused before anything changes.
TEST_P(BinaryAtTheChipEndTest, IsReportedWheneverTheFileRunsPastTheChip) {
  const ChipEndCase& c = GetParam();
  SetChipParams("FU6813L");
  CommitChipSelection("FU6813L");
  ASSERT_EQ(g.FlashEnd, 0x7FFFu);
  const uint32_t at = c.offset & ~0xFu;
  const std::vector<uint8_t> data = Pattern(c.fileBytes, 11);
  const std::string path = WriteFile("job.bin", data);
  // Where the file would start, or the image's last byte for an offset past it.
  const uint32_t marked = std::min<uint32_t>(at, kFlashImageBytes - 1);
  g.FlashImage[marked] = 0x5A;
  offsetToEnter = c.offset;
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  EXPECT_EQ(boxes.Texts(), c.reported ? std::vector<std::string>{"地址超出芯片有效数据范围！"} : std::vector<std::string>{});
  if (c.taken == 0) {
    EXPECT_EQ(g.FlashImage[marked], 0x5A);
    EXPECT_EQ(g.DataLoaded, 0);
    EXPECT_TRUE(LogLines().empty());
    return;
  }
  const std::vector<uint8_t> taken(data.begin(), data.begin() + c.taken);
  EXPECT_EQ(g.FileEnd, c.taken);
  EXPECT_TRUE(FlashHolds(at, taken));
  EXPECT_EQ(g.FlashImage[at + c.taken], 0x00);
  EXPECT_EQ(g.FileSum, SumOf(taken));
  EXPECT_EQ(g.DataLoaded, 1);
  EXPECT_TRUE(Logged("> 14:03:22 File \"" + path + "\" has been loaded!"));
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, BinaryAtTheChipEndTest,
    ::testing::Values(ChipEndCase{"EightKilobytesAt0x7000", 0x7000, 8192, true, 0x1100},
                      ChipEndCase{"EightKilobytesAt0x8000", 0x8000, 8192, true, 0},
                      ChipEndCase{"PastTheEndOfTheImage", 0x400000, 8192, true, 0},
                      ChipEndCase{"WholeChipAt0", 0, 32768, false, 32768},
                      ChipEndCase{"EndingAtTheChipEnd", 0x7000, 4096, false, 4096},
                      ChipEndCase{"LastRowExactly", 0x7FF9, 16, false, 16},
                      ChipEndCase{"OneBytePastTheLastRow", 0x7FF9, 17, true, 17}),
    [](const auto& info) { return std::string(info.param.name); });

enum class ReadFailure { DeletedWhileAsked, ReadFails };
struct FailingFileCase {
  const char* name;
  const char* fileName;
  ReadFailure kind;
};
void PrintTo(const FailingFileCase& c, std::ostream* os) { *os << c.name; }

class FailingDataFileTest : public DataFilesTest, public ::testing::WithParamInterface<FailingFileCase> {};

// A file that passed the checks before the offset dialog but cannot be had
// when its bytes are taken, or whose read fails, is a failed load, a binary
// file as a HEX file: the file error is raised for the top-level report,
// DataLoaded is cleared, and nothing says the file was loaded (no log line,
// no name in the status bar).
TEST_P(FailingDataFileTest, IsAFailedLoad) {
  const FailingFileCase& c = GetParam();
  const std::string path = folder + c.fileName;
  const bool binary = DataFileKindOf(path) == DataFileKind::Binary;
  int expectedCode = ENOENT;
  if (c.kind == ReadFailure::DeletedWhileAsked) {
    whileOffsetDialogOpen = [&] { std::filesystem::remove(path); };
  } else {
    const std::string failing = FileWhoseReadFailsWithEinval();
    if (failing.empty()) GTEST_SKIP() << "no file here whose read fails with EINVAL";
    std::filesystem::create_symlink(failing, path);
    expectedCode = EINVAL;
  }
  ChooseChip32K();
  for (auto handler : {&TOrvantBEMxPrg::FileOpenBtnClick, &TOrvantBEMxPrg::SpdBtnLoadMoreClick}) {
    const bool fresh = handler == &TOrvantBEMxPrg::FileOpenBtnClick;
    SCOPED_TRACE(fresh ? "load" : "load more");
    if (c.kind == ReadFailure::DeletedWhileAsked) WriteFile(c.fileName, Pattern(64, 1));
    g.DataLoaded = 1;
    g.DataFileName = "earlier.bin";
    window->SetStatusPanelText(2, folder + "earlier.bin");
    g.FlashImage[0x100] = 0x5A;
    shownForms.clear();
    EXPECT_EQ(FileErrorOfLoad(handler, path), expectedCode);
    EXPECT_EQ(shownForms, binary ? std::vector<std::string>{"FormOfsAddr"} : std::vector<std::string>{});
    EXPECT_EQ(g.DataLoaded, 0);
    // A fresh load has blanked the image, which then names no file.
    EXPECT_EQ(g.FlashImage[0x100], fresh ? 0x00 : 0x5A);
    EXPECT_EQ(g.DataFileName, fresh ? "" : "earlier.bin");
    EXPECT_EQ(window->StatusPanelText(2), fresh ? "" : folder + "earlier.bin");
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(boxes.Shown().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Files, FailingDataFileTest,
                         ::testing::Values(FailingFileCase{"BinaryDeletedWhileTheOffsetIsAsked", "job.bin",
                                                           ReadFailure::DeletedWhileAsked},
                                           FailingFileCase{"BinaryReadFailsWithEinval", "job.bin",
                                                           ReadFailure::ReadFails},
                                           FailingFileCase{"HexReadFailsWithEinval", "job.hex",
                                                           ReadFailure::ReadFails}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataFilesTest, BinaryOffsetPastTheImageIsRefusedBeforeAnythingChanges) {
  ChooseChip32K();
  const std::string path = WriteFile("image.bin", Pattern(64, 1));
  g.FlashImage[0] = 0x5A;
  offsetToEnter = 0x400000;
  files.Choose(path);
  window->FileOpenBtnClick(nullptr);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"地址超出芯片有效数据范围！"});
  EXPECT_EQ(g.FlashImage[0], 0x5A);
  EXPECT_EQ(g.DataLoaded, 0);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DataFilesTest, BinaryNearTheImageEndIsCutAtTheBufferEnd) {
  g.ChipSelected = 1;
  g.RomSizeKB = 4096;
  g.FlashStart = 0;
  g.FlashEnd = kFlashImageBytes - 1;
  const std::vector<uint8_t> data = Pattern(64, 5);
  const std::string path = WriteFile("tail.bin", data);
  offsetToEnter = kFlashImageBytes - 16;
  files.Choose(path);
  window->SpdBtnLoadMoreClick(nullptr);
  // The chip ends at the image's end: the bytes cut off there ran past it.
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"地址超出芯片有效数据范围！"});
  EXPECT_EQ(g.FileEnd, 16u);
  EXPECT_TRUE(FlashHolds(kFlashImageBytes - 16, std::vector<uint8_t>(data.begin(), data.begin() + 16)));
  EXPECT_EQ(g.FileSum, SumOf(std::vector<uint8_t>(data.begin(), data.begin() + 16)));
}

TEST_F(DataFilesTest, FurtherLoadKeepsTheFirstFilesBytesAndItsPath) {
  ChooseChip32K();
  const std::vector<uint8_t> first = Pattern(0x200, 1);
  const std::vector<uint8_t> second = Pattern(0x40, 99);
  const std::string firstPath = WriteFile("first.bin", first);
  const std::string secondPath = WriteFile("second.Bin", second);
  files.Choose(firstPath);
  window->FileOpenBtnClick(nullptr);
  offsetToEnter = 0x100;
  files.Choose(secondPath);
  window->SpdBtnLoadMoreClick(nullptr);
  EXPECT_TRUE(FlashHolds(0, std::vector<uint8_t>(first.begin(), first.begin() + 0x100)));
  EXPECT_TRUE(FlashHolds(0x100, second));
  EXPECT_TRUE(FlashHolds(0x140, std::vector<uint8_t>(first.begin() + 0x140, first.end())));
  EXPECT_EQ(window->StatusPanelText(2), firstPath);
  EXPECT_EQ(g.DataFileName, "first.bin");
  // The figures are the last file's alone.
  EXPECT_EQ(g.FileEnd, 0x40u);
  EXPECT_EQ(g.FileSum, SumOf(second));
  EXPECT_TRUE(Logged("> 14:03:22 File \"" + secondPath + "\" has been loaded!"));
}

TEST_F(DataFilesTest, FreshLoadBlanksByTheFillFlagAndOnlyThe13684EepBytes) {
  ChooseChip32K();
  const std::string path = WriteFile("image.bin", Pattern(16, 1));
  for (uint8_t fillZero : {1, 0}) {
    const uint8_t blank = fillZero ? 0x00 : 0xFF;
    g.FillZero = fillZero;
    std::memset(g.EepImage, 0x77, sizeof g.EepImage);
    files.Choose(path);
    window->FileOpenBtnClick(nullptr);
    EXPECT_EQ(g.FlashImage[16], blank);
    EXPECT_EQ(g.FlashImage[kFlashImageBytes - 1], blank);
    EXPECT_EQ(g.EepImage[0], blank);
    EXPECT_EQ(g.EepImage[13683], blank);
    EXPECT_EQ(g.EepImage[13684], 0x77);
    EXPECT_EQ(g.EepImage[kEepImageBytes - 1], 0x77);
  }
}

TEST_F(DataFilesTest, SaveBeforeAnyLoadDoesNothing) {
  window->FileSaveBtnClick(nullptr);
  EXPECT_TRUE(files.Opened().empty());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(DataFilesTest, SaveWithTheBinaryEntryWritesTheFlashRange) {
  ChooseChip32K();
  const std::vector<uint8_t> data = Pattern(0x8000, 4);
  std::memcpy(g.FlashImage, data.data(), data.size());
  g.DataLoaded = 1;
  const std::string path = folder + "out.hex";
  files.Choose(path, 1);
  window->FileSaveBtnClick(nullptr);
  ASSERT_EQ(files.Opened().size(), 1u);
  EXPECT_EQ(files.Opened()[0].Filter,
            "All Binary Files(*.BIN)|*.BIN|Intel Hex Files(*.HEX)|*.HEX|Motorola S-record Files(*.mot)|*.S19");
  EXPECT_EQ(files.Opened()[0].FilterIndex, 1);
  EXPECT_EQ(ReadFile(path), data);
}

TEST_F(DataFilesTest, SaveWritesWithTheFilterEntrysWriterWhateverTheNameSays) {
  ChooseChip32K();
  const std::vector<uint8_t> data = Pattern(0x8000, 4);
  std::memcpy(g.FlashImage, data.data(), data.size());
  g.DataLoaded = 1;
  files.Choose(folder + "hex.bin", 2);
  window->FileSaveBtnClick(nullptr);
  files.Choose(folder + "srec.bin", 3);
  window->FileSaveBtnClick(nullptr);
  // The first record and the end record as this test writes them itself.
  const std::string ownHex = ReadText(WriteHex("own.hex", 0, std::vector<uint8_t>(data.begin(), data.begin() + 16)));
  const std::string hex = ReadText(folder + "hex.bin");
  EXPECT_EQ(hex.substr(0, 45), ownHex.substr(0, 45));
  EXPECT_EQ(hex.substr(hex.size() - 13), ":00000001FF\r\n");
  const std::string srec = ReadText(folder + "srec.bin");
  EXPECT_EQ(srec.substr(0, 4), "S123");
  EXPECT_EQ(srec.substr(srec.size() - 12), "S9030000FC\r\n");
  // Both read back into the image they came from.
  std::memset(g.FlashImage, 0xFF, 0x8000);
  files.Choose(folder + "hex.bin.hex");
  std::filesystem::rename(folder + "hex.bin", folder + "hex.bin.hex");
  window->FileOpenBtnClick(nullptr);
  EXPECT_TRUE(FlashHolds(0, data));
  std::memset(g.FlashImage, 0xFF, 0x8000);
  std::filesystem::rename(folder + "srec.bin", folder + "srec.s19");
  files.Choose(folder + "srec.s19");
  window->FileOpenBtnClick(nullptr);
  EXPECT_TRUE(FlashHolds(0, data));
}

TEST_F(DataFilesTest, SaveWithAnEntryPastTheThirdWritesNothing) {
  ChooseChip32K();
  g.DataLoaded = 1;
  files.Choose(folder + "out.bin", 4);
  window->FileSaveBtnClick(nullptr);
  EXPECT_FALSE(std::filesystem::exists(folder + "out.bin"));
}

TEST_F(DataFilesTest, ProjectSaveNeedsAChipAndThenData) {
  window->SavetoProjectFile1Click(nullptr);
  g.ChipSelected = 1;
  window->SavetoProjectFile1Click(nullptr);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"未选择芯片型号！", "未加载目标文件！"}));
  EXPECT_EQ(boxes.Shown()[1].type, MsgDlgType::Information);
  EXPECT_TRUE(files.Opened().empty());
}

TEST_F(DataFilesTest, ProjectDialogsCarryTheirTitlesAndFilters) {
  files.Cancel();
  window->SpdBtnLdPrjClick(nullptr);
  g.ChipSelected = 1;
  g.DataLoaded = 1;
  files.Cancel();
  window->SavetoProjectFile1Click(nullptr);
  ASSERT_EQ(files.Opened().size(), 2u);
  EXPECT_EQ(files.Opened()[0].Title, "Open Orvant200xx Project File");
  EXPECT_EQ(files.Opened()[0].Filter, "Orvantxx Project Files(*.ptv)|*.ptv");
  EXPECT_EQ(files.Opened()[1].Title, "Save to Orvant200xx Project File");
  EXPECT_EQ(files.Opened()[1].Filter, "Orvantxx Project File(*.ptv)|*.ptv");
  EXPECT_EQ(files.Opened()[1].Kind, FileDialogKind::Save);
}

struct QtFilterCase {
  const char* name;
  const char* dialogFilter;
  const char* qtFilter;
};
void PrintTo(const QtFilterCase& c, std::ostream* os) { *os << c.name; }

class QtFileFilterTest : public ::testing::TestWithParam<QtFilterCase> {};

TEST_P(QtFileFilterTest, KeepsTheEntriesInOrderWithTheirOwnPatterns) {
  EXPECT_EQ(QtFileFilter(GetParam().dialogFilter).toStdString(), GetParam().qtFilter);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, QtFileFilterTest,
    ::testing::Values(
        QtFilterCase{"OpenData", kAllDataFilter,
                     "All Files (*.*);;All Binary Files (*.Bin);;All Intel Hex Files (*.Hex);;"
                     "All Motorola Hex Files(*.S19);;All Hex/Binary Files (*.Hex *.S1* *.Bin)"},
        QtFilterCase{"SaveMemory",
                     "All Binary Files(*.BIN)|*.BIN|Intel Hex Files(*.HEX)|*.HEX|Motorola S-record Files(*.mot)|*.S19",
                     "All Binary Files(*.BIN);;Intel Hex Files(*.HEX);;Motorola S-record Files(*.S19)"},
        QtFilterCase{"Project", "Orvantxx Project Files(*.ptv)|*.ptv", "Orvantxx Project Files(*.ptv)"},
        QtFilterCase{"NoPatternsShown", "Text files|*.txt;*.log", "Text files (*.txt *.log)"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
