#include "catalogue/project_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/chip_catalogue.h"
#include "support/image_file_fixture.h"
#include "support/project_support.h"
#include "toolkit/errors.h"
#include "toolkit/le_bytes.h"
#include "toolkit/random.h"

namespace {

constexpr size_t kCfgTagAt = 2403;
constexpr size_t kMfmTagAt = 3431;
constexpr size_t kPadAt = 354;
constexpr const char* kCorrupted = "Data of Project File Has Been Corrupted!";

class ProjectFileTest : public ImageFileTest {
 protected:
  void SetUp() override {
    ImageFileTest::SetUp();
    g.OrvantBEMxPrg = &window_;
    ApplyStartUpChipValues();
    SetRandSeed(0x1234);
    SetChipParams("FU6811N");
    CommitChipSelection("FU6811N");  // 16 KB, no EEP
    for (size_t i = 0; i < kFlashImageBytes; ++i) g.FlashImage[i] = static_cast<uint8_t>(i * 7 + (i >> 10));
    g.DataFileName = "固件 v1.hex";
    g.ImageSum32 = 0x11223344;
    g.FileSum = 0x55667788;
    g.FileStart = 0x10;
    g.FileEnd = 0x3FF0;
    g.SnDisplayFlags = 5;
    g.ImageCrc16 = 0xA1A2;
    g.ImagePacketCrc = 0xB1B2;
    g.ImageSum16 = 0xC1C2;
    g.AuxCheckWord1 = 0x0101;
    g.AuxCheckWord2 = 0x0202;
    g.AuxCheckWord3 = 0x0303;
    g.AuxCheckWord4 = 0x0404;
    g.AutoDetect = 15;
    g.PowerOnDelay = 10;
    g.ChipInDelay = 17;
    g.ChipOutDelay = 16;
    g.SnFlags = 0x45;
    g.SnLength = 4;
    g.SnIncrement = 3;
    g.SnAddress = 0x3FF0;
    g.SnValue = 0x80000001;
    g.RunShutTime = 50;
    g.MaxProgramCount = 1234;
    g.ChipSeries = kFortiorSeries;
  }
  void TearDown() override {
    g.OrvantBEMxPrg = nullptr;
    ImageFileTest::TearDown();
  }

  std::string Save(const std::string& name = "job.ptv") {
    const std::string path = PathOf(name);
    SaveProjectFile(path, g.ChipSeries, CopyOfflineInfoBlock);
    return path;
  }

  // Loads and applies as the console does after a result of 0.
  uint8_t LoadAndApply(const std::string& path) {
    const uint8_t result = LoadProjectFile(path);
    if (result == kProjectLoaded) ApplyProjectCfg();
    return result;
  }

  std::string Patched(const std::string& path, size_t at, uint8_t xorWith) {
    std::string bytes = ReadFile(path);
    bytes[at] = static_cast<char>(bytes[at] ^ xorWith);
    return WriteFile("patched.ptv", bytes);
  }

  // Puts `value` into the file's configuration image at `offset`.
  std::string WithCfgWord(const std::string& path, size_t offset, uint16_t value) {
    std::string bytes = ReadFile(path);
    const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t key = raw[kCfgTagAt + 3];
    for (size_t i = 0; i < 2; ++i) {
      const size_t at = kCfgTagAt + 4 + offset + i;
      bytes[at] = static_cast<char>(static_cast<uint8_t>(value >> (8 * i)) ^ raw[kPadAt + offset + i] ^ key);
    }
    return WriteFile("patched.ptv", bytes);
  }

  // Replaces the whole job with other values, so a load that changes
  // something shows.
  void ChangeEverything() {
    ResetState();
    ResetChipSelection();
    SetChipParams("FU6813P");
    CommitChipSelection("FU6813P");
    std::fill(std::begin(g.FlashImage), std::end(g.FlashImage), uint8_t{0x5A});
    std::fill(std::begin(g.EepImage), std::end(g.EepImage), uint8_t{0x6B});
    g.DataFileName = "other.bin";
    g.OrvantBEMxPrg = &window_;
  }

  StandInWindow window_;
};

TEST_F(ProjectFileTest, SixteenKilobyteChipWithoutEepHasTheFixedLayout) {
  const std::string path = Save();
  const std::string file = ReadFile(path);
  const auto* raw = reinterpret_cast<const uint8_t*>(file.data());
  ASSERT_EQ(file.size(), 20100u);
  EXPECT_EQ(file.substr(0, 6), "Tesmar");
  EXPECT_EQ(raw[6], 1);
  EXPECT_EQ(raw[7], kFortiorSeries);
  EXPECT_EQ(raw[24], 'F' ^ kProjectFieldMask);
  EXPECT_EQ(raw[24 + 7], 0);  // "FU6811N" padded with zeros
  EXPECT_EQ(GetLe32(raw + 258), 16384u);
  EXPECT_EQ(GetLe16(raw + 262), 0u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(raw[kCfgTagAt + i], static_cast<uint8_t>("CFG"[i] ^ kCfgTagMask));
    EXPECT_EQ(raw[kMfmTagAt + i], static_cast<uint8_t>("MFM"[i] ^ kMfmTagMask));
  }
  // MFM: a key byte, then 1024 masked data bytes and the next key, 16 times.
  const uint8_t* pad = raw + kPadAt;
  size_t at = kMfmTagAt + 3;
  for (size_t run = 0; run < 16; ++run) {
    const uint8_t key = raw[at++];
    for (size_t i = 0; i < 1024; ++i, ++at)
      ASSERT_EQ(raw[at] ^ pad[i] ^ key, g.FlashImage[run * 1024 + i]) << "run " << run << " byte " << i;
  }
  ++at;  // the 16th key after the last data byte
  for (int i = 0; i < 3; ++i) EXPECT_EQ(raw[at + i], static_cast<uint8_t>("EEP"[i] ^ kEepTagMask));
  at += 3 + 2;
  uint32_t sum = 0;
  for (size_t i = 0; i < at; ++i) sum += raw[i];
  EXPECT_EQ(GetLe32(raw + at), sum);
  EXPECT_EQ(at + 4 + 256, file.size());
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Created Tesmar Project File : " + path});
  EXPECT_EQ(window_.logLines, boxes_.Texts());
}

TEST_F(ProjectFileTest, SaveThenLoadRestoresTheJob) {
  g.EepSize = 1000;
  g.EepStart = 0x8000;
  g.EepEnd = 0x8000 + 999;
  g.EepSum = 0xEE;
  for (size_t i = 0; i < 1000; ++i) g.EepImage[i] = static_cast<uint8_t>(i ^ 0x3C);
  g.ChipName = std::string("FU6811N") + '\0' + "x";  // a code 0 inside comes back as 0
  std::vector<uint8_t> block;  // what the saver stores
  const std::string path = PathOf("job.ptv");
  SaveProjectFile(path, g.ChipSeries, [&block](uint8_t* out) {
    CopyOfflineInfoBlock(out);
    block.assign(out, out + kOfflineBlockBytes);
  });
  EXPECT_EQ(ReadFile(path).size(), 20100u + 1 + 1000);
  const JobSnapshot saved = JobSnapshot::Take();
  ChangeEverything();
  boxes_.Clear();
  window_.logLines.clear();

  ASSERT_EQ(LoadAndApply(path), kProjectLoaded);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Project File Open Success!"});
  EXPECT_EQ(window_.logLines, boxes_.Texts());
  EXPECT_EQ(g.ChipName, std::string("FU6811N\0x", 9) + std::string(11, '\0'));
  EXPECT_EQ(g.DataFileName, "固件 v1.hex" + std::string(48 - std::string("固件 v1.hex").size(), '\0'));
  JobSnapshot loaded = JobSnapshot::Take();
  EXPECT_EQ(std::vector<uint8_t>(loaded.cfg.begin(), loaded.cfg.begin() + 512), block);
  EXPECT_EQ(std::vector<uint8_t>(loaded.cfg.begin() + 512, loaded.cfg.end()), block);
  // Everything but the texts, the configuration and the image bytes past the
  // job (the flash beyond 16 KB, the EEP beyond 1000 bytes) is as saved.
  loaded.ChipName = saved.ChipName;
  loaded.DataFileName = saved.DataFileName;
  loaded.cfg = saved.cfg;
  loaded.pad = saved.pad;
  EXPECT_TRUE(std::equal(saved.flash.begin(), saved.flash.begin() + 16384, loaded.flash.begin()));
  EXPECT_TRUE(std::equal(saved.eep.begin(), saved.eep.begin() + 1000, loaded.eep.begin()));
  loaded.flash = saved.flash;
  loaded.eep = saved.eep;
  EXPECT_EQ(loaded, saved);
}

TEST_F(ProjectFileTest, SavingTwiceGivesOtherBytesThatLoadTheSame) {
  const std::string first = ReadFile(Save("one.ptv"));
  const std::string second = ReadFile(Save("two.ptv"));
  EXPECT_NE(first, second);
  ChangeEverything();
  ASSERT_EQ(LoadAndApply(PathOf("one.ptv")), kProjectLoaded);
  const JobSnapshot one = JobSnapshot::Take();
  ChangeEverything();
  ASSERT_EQ(LoadAndApply(PathOf("two.ptv")), kProjectLoaded);
  JobSnapshot two = JobSnapshot::Take();
  EXPECT_NE(two.pad, one.pad);
  two.pad = one.pad;
  // The stored block carries random filler and its own CRC: only its
  // settings are compared, through the values it was applied to.
  two.cfg = one.cfg;
  EXPECT_EQ(two, one);
}

// The data file name has 48 bytes in the header and in the information
// block the project stores. A longer name is cut at its last whole UTF-8
// character: cut inside one, it read back ending in U+FFFD.
struct NameCutCase {
  const char* what;
  std::string name;
  size_t kept;  // bytes of the name stored, the rest of the 48 are zeros
};
void PrintTo(const NameCutCase& c, std::ostream* os) { *os << c.what; }

const std::string kHan = "件";         // 3 bytes
const std::string kAccent = "é";       // 2 bytes
const std::string kEmoji = "\U0001F600";  // 4 bytes
const NameCutCase kNameCutCases[] = {
    {"2-byte character across the end", std::string(47, 'a') + kAccent, 47},
    {"2-byte character at the end", std::string(46, 'a') + kAccent + "b", 48},
    {"3-byte character, one byte in", std::string(47, 'a') + kHan, 47},
    {"3-byte character, two bytes in", std::string(46, 'a') + kHan, 46},
    {"3-byte characters only", kHan + kHan + kHan + kHan + kHan + kHan + kHan + kHan + kHan + kHan + kHan + kHan +
                                   kHan + kHan + kHan + kHan + kHan + ".hex",
     48},
    {"4-byte character, one byte in", std::string(47, 'a') + kEmoji, 47},
    {"4-byte character, two bytes in", std::string(46, 'a') + kEmoji, 46},
    {"4-byte character, three bytes in", std::string(45, 'a') + kEmoji + ".hex", 45},
    {"4-byte character that fits", std::string(44, 'a') + kEmoji + ".hex", 48},
    {"bytes that are no UTF-8 are cut at the end", std::string(47, 'a') + "\xE4" + "b", 48},
};

class ProjectNameCutTest : public ProjectFileTest, public ::testing::WithParamInterface<NameCutCase> {};

TEST_P(ProjectNameCutTest, NameReadsBackWithWholeCharactersOnly) {
  const NameCutCase& c = GetParam();
  g.DataFileName = c.name;
  const std::string path = Save();
  ChangeEverything();
  ASSERT_EQ(LoadAndApply(path), kProjectLoaded);
  const std::string field = c.name.substr(0, c.kept) + std::string(48 - c.kept, '\0');
  EXPECT_EQ(g.DataFileName, field);
  for (size_t copy : {size_t{0}, kOfflineBlockBytes}) {
    SCOPED_TRACE(copy == 0 ? "information block" : "its copy");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(g.ProjectCfgBlock + copy + 272), 48), field);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, ProjectNameCutTest, ::testing::ValuesIn(kNameCutCases),
                         [](const auto& info) {
                           std::string name = info.param.what;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

struct DamageCase {
  const char* name;
  long at;  // from the start, or from the end when negative
  uint8_t result;
};
void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

const DamageCase kDamageCases[] = {
    {"MagicChanged", 0, kProjectNotAProject},
    {"HeaderByteChanged", 130, kProjectSumMismatch},
    {"FlashDataByteChanged", kMfmTagAt + 100, kProjectSumMismatch},
    {"FlashKeyByteChanged", kMfmTagAt + 3, kProjectSumMismatch},
    {"CfgTagDamaged", kCfgTagAt + 1, kProjectNoEepTag},
    {"MfmTagDamaged", kMfmTagAt, kProjectNoEepTag},
    {"StoredSumChanged", -257, kProjectSumMismatch},
};

class ProjectDamageTest : public ProjectFileTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(ProjectDamageTest, FailedLoadReportsAndChangesNothing) {
  const DamageCase& c = GetParam();
  const std::string path = Save();
  const size_t size = ReadFile(path).size();
  const std::string damaged = Patched(path, c.at >= 0 ? size_t(c.at) : size_t(long(size) + c.at), 0x01);
  ChangeEverything();
  const JobSnapshot before = JobSnapshot::Take();
  boxes_.Clear();
  window_.logLines.clear();
  EXPECT_EQ(LoadProjectFile(damaged), c.result);
  EXPECT_TRUE(JobSnapshot::Take() == before);
  const std::string message = c.result == kProjectNotAProject ? "Not a Valid Tesmar Project File!" : kCorrupted;
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{message});
  EXPECT_EQ(window_.logLines, boxes_.Texts());
}

INSTANTIATE_TEST_SUITE_P(Damage, ProjectDamageTest, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectFileTest, ChangedTailByteStillLoads) {
  const std::string path = Save();
  const std::string damaged = Patched(path, ReadFile(path).size() - 10, 0xFF);
  EXPECT_EQ(LoadProjectFile(damaged), kProjectLoaded);
}

// A file cut short ends the load where it ends, with the code of what is
// missing from there on; zeros in place of the missing bytes would pass for
// data, and under 64 KB for the stored sum's top byte too. The tail is never
// read, so a cut inside it still loads.
struct CutCase {
  const char* name;
  long kept;  // bytes kept from the start, or all but -kept when negative
  uint8_t result;
};
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

constexpr long kEepTagAt = kMfmTagAt + 3 + 16384 + 17;  // 16 KB of flash and its 17 key bytes
const CutCase kCutCases[] = {
    {"Empty", 0, kProjectNotAProject},
    {"InTheMagic", 3, kProjectNotAProject},
    {"RightAfterTheMagic", 6, kProjectNoCfgTag},
    {"InTheHeader", 300, kProjectNoCfgTag},
    {"InThePad", 1000, kProjectNoCfgTag},
    {"InTheCfgTag", kCfgTagAt + 2, kProjectNoCfgTag},
    {"RightAfterTheCfgTag", kCfgTagAt + 3, kProjectNoMfmTag},
    {"InTheConfigurationImage", 3000, kProjectNoMfmTag},
    {"InTheMfmTag", kMfmTagAt + 1, kProjectNoMfmTag},
    {"RightAfterTheMfmTag", kMfmTagAt + 3, kProjectNoEepTag},
    {"InTheFlashData", 10000, kProjectNoEepTag},
    {"InTheEepTag", kEepTagAt + 2, kProjectNoEepTag},
    {"RightAfterTheEepTag", kEepTagAt + 3, kProjectSumMismatch},
    {"InTheEepData", kEepTagAt + 100, kProjectSumMismatch},
    {"BeforeTheSum", -260, kProjectSumMismatch},
    {"InTheSum", -257, kProjectSumMismatch},
    {"WithoutTheTail", -256, kProjectLoaded},
    {"InTheTail", -1, kProjectLoaded},
};

class ProjectCutTest : public ProjectFileTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(ProjectCutTest, CutShortEndsWithTheCodeOfThatPlaceAndChangesNothing) {
  const CutCase& c = GetParam();
  g.EepSize = 1500;  // an EEP section, so that a cut can fall inside its data
  const std::string bytes = ReadFile(Save());
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(static_cast<uint8_t>(bytes[kEepTagAt + i]), static_cast<uint8_t>("EEP"[i] ^ kEepTagMask));
  const size_t kept = c.kept >= 0 ? size_t(c.kept) : bytes.size() - size_t(-c.kept);
  const std::string path = WriteFile("cut.ptv", bytes.substr(0, kept));
  ChangeEverything();
  const JobSnapshot before = JobSnapshot::Take();
  boxes_.Clear();
  EXPECT_EQ(LoadProjectFile(path), c.result) << kept << " of " << bytes.size() << " bytes";
  if (c.result == kProjectLoaded) {
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Project File Open Success!"});
    return;
  }
  EXPECT_TRUE(JobSnapshot::Take() == before);
  const std::string message = c.result == kProjectNotAProject ? "Not a Valid Tesmar Project File!" : kCorrupted;
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{message});
}

INSTANTIATE_TEST_SUITE_P(Cuts, ProjectCutTest, ::testing::ValuesIn(kCutCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct HostileCase {
  const char* name;
  size_t at;      // header offset of a little-endian value
  int bytes;      // 2 or 4
  uint32_t value;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

const HostileCase kHostileCases[] = {
    {"FlashPastTheBuffer", 258, 4, 4194304 + 1024},
    {"BasePlusFlashPastTheBuffer", 292, 4, 4194304 - 1024},
    {"BaseThatWrapsAround", 292, 4, 0xFFFFF000},
    {"FlashBelowOneKilobyte", 258, 4, 1023},
    {"EepPastTheBuffer", 262, 2, 16385},
};

class ProjectHostileTest : public ProjectFileTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(ProjectHostileTest, SizesTheBuffersCannotHoldAreRefused) {
  const HostileCase& c = GetParam();
  std::string bytes = ReadFile(Save());
  for (int i = 0; i < c.bytes; ++i) bytes[c.at + i] = static_cast<char>(c.value >> (8 * i));
  const std::string path = WriteFile("hostile.ptv", bytes);
  ChangeEverything();
  const JobSnapshot before = JobSnapshot::Take();
  boxes_.Clear();
  EXPECT_EQ(LoadProjectFile(path), kProjectSizesRefused);
  EXPECT_TRUE(JobSnapshot::Take() == before);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kCorrupted});
}

INSTANTIATE_TEST_SUITE_P(Sizes, ProjectHostileTest, ::testing::ValuesIn(kHostileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProjectFileTest, ConfigurationSizesTheBuffersCannotHoldAreRefused) {
  const std::string path = Save();
  for (auto [offset, value] : {std::pair<size_t, uint16_t>{20, 4097}, {20, 0}, {26, 16385}}) {
    SCOPED_TRACE(offset);
    const std::string patched = WithCfgWord(path, offset, value);
    ChangeEverything();
    const JobSnapshot before = JobSnapshot::Take();
    EXPECT_EQ(LoadProjectFile(patched), kProjectSizesRefused);
    EXPECT_TRUE(JobSnapshot::Take() == before);
  }
  // The largest that fits loads (the stored sum no longer matches, nothing else).
  EXPECT_EQ(LoadProjectFile(WithCfgWord(path, 20, 4096)), kProjectSumMismatch);
}

TEST_F(ProjectFileTest, ApplyingAnUnloadedConfigurationKeepsTheSizes) {
  std::fill(std::begin(g.ProjectCfgBlock), std::end(g.ProjectCfgBlock), uint8_t{0xFF});
  ApplyProjectCfg();
  EXPECT_EQ(g.RomSizeKB, 16);
  EXPECT_EQ(g.EepSize, 0);
  EXPECT_EQ(g.FlashEnd, 0x3FFFu);
  EXPECT_EQ(g.ProgSpeed, 0xFF);  // the other settings are taken as they stand
}

TEST_F(ProjectFileTest, CommandLineModeLogsWithoutABox) {
  const std::string path = Save();
  boxes_.Clear();
  window_.logLines.clear();
  g.CommandLineMode = 1;
  EXPECT_EQ(LoadProjectFile(path), kProjectLoaded);
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(window_.logLines, std::vector<std::string>{"Project File Open Success!"});
  window_.logLines.clear();
  Save();  // a save always shows its box
  EXPECT_EQ(boxes_.Shown().size(), 1u);
}

TEST_F(ProjectFileTest, UnreadableFilesRaiseTheIoError) {
  EXPECT_THROW(LoadProjectFile(PathOf("missing.ptv")), EInOutError);
  EXPECT_THROW(LoadProjectFile(folder_.string()), EInOutError);
  const std::string fifo = PathOf("pipe.ptv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(LoadProjectFile(fifo), EInOutError);
  EXPECT_THROW(Save("no/such/folder.ptv"), EInOutError);
  EXPECT_TRUE(boxes_.Shown().empty());
}

// The file is created before the first draw: a save that cannot create it
// leaves the shared generator, the pad, the counts and channel 0's packet
// slot as they were, so a later save writes what it would have written.
TEST_F(ProjectFileTest, SaveThatCannotCreateItsFileDrawsNothing) {
  const std::string earlier = Save("earlier.ptv");
  ProjectFlashBytes = 0x1234;  // a value that no save of this chip gives
  const uint32_t seed = RandSeed();
  const uint32_t sum = ProjectSum;
  const std::vector<uint8_t> pad(std::begin(ProjectPad), std::end(ProjectPad));
  const std::vector<uint8_t> slot(std::begin(g.TxPacket[0]), std::end(g.TxPacket[0]));
  EXPECT_THROW(Save("no/such/folder/job.ptv"), EInOutError);
  EXPECT_EQ(RandSeed(), seed);
  EXPECT_EQ(ProjectFlashBytes, 0x1234u);
  EXPECT_EQ(ProjectSum, sum);
  EXPECT_EQ(std::vector<uint8_t>(std::begin(ProjectPad), std::end(ProjectPad)), pad);
  EXPECT_EQ(std::vector<uint8_t>(std::begin(g.TxPacket[0]), std::end(g.TxPacket[0])), slot);

  const std::string after = Save("after.ptv");
  SetRandSeed(seed);
  EXPECT_EQ(ReadFile(after), ReadFile(Save("again.ptv")));
  EXPECT_NE(ReadFile(after), ReadFile(earlier));
}

size_t EntriesIn(const std::filesystem::path& folder) {
  return static_cast<size_t>(
      std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

TEST_F(ProjectFileTest, FailedSaveLeavesTheEarlierFileIntact) {
  const std::string path = WriteFile("job.ptv", "the earlier job");
  std::filesystem::create_directory(folder_ / "jobs");
  const std::string target = WriteFile("jobs/linked.ptv", "the earlier linked job");
  std::filesystem::create_symlink("jobs/linked.ptv", PathOf("link.ptv"));
  // A file size limit below the project's size makes the write fail part way,
  // as a full disk would.
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 8192;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(Save("job.ptv"), EInOutError);
  EXPECT_THROW(Save("link.ptv"), EInOutError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(ReadFile(path), "the earlier job");
  EXPECT_EQ(ReadFile(target), "the earlier linked job");
  EXPECT_TRUE(std::filesystem::is_symlink(PathOf("link.ptv")));
  // No temporary file beside either.
  EXPECT_EQ(EntriesIn(folder_), 3u);
  EXPECT_EQ(EntriesIn(folder_ / "jobs"), 1u);
}

// A link, a link to a link and a dangling link are written through: the
// file they name gets the job, and each link stays a link.
TEST_F(ProjectFileTest, SaveThroughALinkWritesTheFileItNames) {
  std::filesystem::create_directory(folder_ / "jobs");
  const std::string target = WriteFile("jobs/real.ptv", "the earlier job");
  std::filesystem::create_symlink("jobs/real.ptv", PathOf("job.ptv"));
  std::filesystem::create_symlink(PathOf("job.ptv"), PathOf("latest.ptv"));
  std::filesystem::create_symlink("fresh.ptv", folder_ / "jobs" / "next.ptv");  // relative to its own folder
  const JobSnapshot saved = JobSnapshot::Take();
  for (const char* name : {"job.ptv", "latest.ptv", "jobs/next.ptv"}) {
    SCOPED_TRACE(name);
    Save(name);
    EXPECT_TRUE(std::filesystem::is_symlink(PathOf(name)));
  }
  EXPECT_EQ(std::filesystem::read_symlink(PathOf("job.ptv")), "jobs/real.ptv");
  for (const std::string& file : {target, PathOf("jobs/fresh.ptv")}) {
    ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file))) << file;
    ChangeEverything();
    EXPECT_EQ(LoadProjectFile(file), kProjectLoaded) << file;
    EXPECT_EQ(std::vector<uint8_t>(g.FlashImage, g.FlashImage + 0x4000),
              std::vector<uint8_t>(saved.flash.begin(), saved.flash.begin() + 0x4000));
  }
  EXPECT_EQ(EntriesIn(folder_), 3u);
  EXPECT_EQ(EntriesIn(folder_ / "jobs"), 3u);
}

// The saved file keeps the permission bits of the one it replaces; a fresh
// one gets what the umask allows.
TEST_F(ProjectFileTest, SaveKeepsTheModeOfTheFileItReplaces) {
  using std::filesystem::perms;
  for (const perms mode : {perms(0600), perms(0640), perms(0755), perms(0604)}) {
    const std::string path = WriteFile("job.ptv", "the earlier job");
    std::filesystem::permissions(path, mode);
    Save();
    EXPECT_EQ(std::filesystem::status(path).permissions(), mode) << std::oct << static_cast<int>(mode);
    std::filesystem::remove(path);
  }
  for (const mode_t mask : {mode_t{027}, mode_t{022}, mode_t{0}}) {
    const mode_t previous = ::umask(mask);
    Save("fresh.ptv");
    ::umask(previous);
    EXPECT_EQ(std::filesystem::status(PathOf("fresh.ptv")).permissions(), perms(0666 & ~mask))
        << std::oct << mask;
    std::filesystem::remove(PathOf("fresh.ptv"));
  }
}

TEST_F(ProjectFileTest, ModelNamesFitTheirField) {
  EXPECT_EQ(ModelNameOf(kFortiorSeries), ModelNameOf(0));
  EXPECT_NE(ModelNameOf(3), ModelNameOf(0));
  std::vector<std::string_view> names;
  for (int code = 0; code < 256; ++code) {
    const std::string_view name = ModelNameOf(static_cast<uint8_t>(code));
    EXPECT_LE(name.size(), 16u);
    EXPECT_FALSE(name.empty());
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  EXPECT_EQ(names.size(), 24u);
}

TEST(ProjectMasks, FieldMaskNeverOccursInUtf8AndTagMasksDifferFromTheirLetters) {
  EXPECT_TRUE(kProjectFieldMask == 0xC0 || kProjectFieldMask == 0xC1 || kProjectFieldMask >= 0xF5);
  for (auto [tag, mask] : {std::pair{"CFG", kCfgTagMask}, {"MFM", kMfmTagMask}, {"EEP", kEepTagMask}})
    for (int i = 0; i < 3; ++i) EXPECT_NE(static_cast<uint8_t>(tag[i]), mask);
  EXPECT_NE(kCfgTagMask, kMfmTagMask);
  EXPECT_NE(kMfmTagMask, kEepTagMask);
  EXPECT_NE(kCfgTagMask, kEepTagMask);
}

}  // namespace
