#include "catalogue/project_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "catalogue/data_file_io.h"
#include "shared/main_window.h"
#include "shared/state.h"
#include "toolkit/dialogs.h"
#include "toolkit/le_bytes.h"
#include "toolkit/random.h"
#include "toolkit/utf8_fit.h"

uint32_t ProjectSum = 0;
uint32_t ProjectFlashBytes = 0;
uint32_t ProjectSpareWord = 0;
uint8_t ProjectPad[kProjectPadBytes] = {};

namespace {
constexpr std::string_view kMagic = "Tesmar";
constexpr const char* kCreatedText = "Created Tesmar Project File : ";
constexpr const char* kLoadedText = "Project File Open Success!";
constexpr const char* kNotAProjectText = "Not a Valid Tesmar Project File!";
constexpr const char* kCorruptedText = "Data of Project File Has Been Corrupted!";

constexpr size_t kStoredPadBytes = 2049;     // pad bytes 0..2048 go into the file
constexpr size_t kKeyRunBytes = 1024;        // a new key byte after every run
constexpr size_t kCfgImageBytes = 2 * kOfflineBlockBytes;
constexpr size_t kTailBytes = 256;
constexpr uint32_t kMinFlashBytes = 1024;
// Header text fields: widths in bytes.
constexpr size_t kModelNameBytes = 16;
constexpr size_t kChipNameBytes = 20;
constexpr size_t kDataFileNameBytes = 48;
// Nothing sensible is longer: the largest job with its keys, tags and tail.
constexpr size_t kMaxProjectFileBytes = 8u << 20;

// Where the unpacked settings sit in the configuration image (the off-line
// information block, little-endian words).
constexpr size_t kCfgRomSizeKBOffset = 20;
constexpr size_t kCfgEepSizeOffset = 26;

struct ByteField {
  size_t offset;
  uint8_t DefinBEM::*field;
};
struct WordField {
  size_t offset;
  uint16_t DefinBEM::*field;
};

// clang-format off
constexpr ByteField kCfgBytes[] = {
    {8, &DefinBEM::ChipType}, {9, &DefinBEM::ChipIndex}, {11, &DefinBEM::AutoDetect},
    {36, &DefinBEM::CheckFlags}, {37, &DefinBEM::InterfaceFlags}, {38, &DefinBEM::PowerResetFlags},
    {39, &DefinBEM::ControlByte4}, {40, &DefinBEM::ControlByte5}, {41, &DefinBEM::ControlByte6},
    {42, &DefinBEM::ChipModelA}, {43, &DefinBEM::ControlByte8}, {44, &DefinBEM::PowerOnDelay},
    {45, &DefinBEM::PowerOffDelay}, {46, &DefinBEM::ChipInDelay}, {47, &DefinBEM::ChipOutDelay},
    {48, &DefinBEM::ChipModelB}, {49, &DefinBEM::ControlByte14}, {50, &DefinBEM::ProgSpeed},
    {84, &DefinBEM::SnFlags}, {85, &DefinBEM::SnLength},
};
// RomSizeKB (20) and EepSize (26) are taken apart, after their limits are tested.
constexpr WordField kCfgWords[] = {
    {22, &DefinBEM::PageSize}, {24, &DefinBEM::PageCount}, {28, &DefinBEM::SizeWord5},
    {30, &DefinBEM::SizeWord6},
    {52, &DefinBEM::ImagePacketCrc}, {54, &DefinBEM::ImageSum16}, {56, &DefinBEM::AuxCheckWord1},
    {58, &DefinBEM::AuxCheckWord2}, {60, &DefinBEM::AuxCheckWord3}, {62, &DefinBEM::AuxCheckWord4},
    {64, &DefinBEM::ImageCrc16},
    {86, &DefinBEM::SnIncrement}, {100, &DefinBEM::RunShutTime},
};
constexpr size_t kCfgSnAddressOffset = 88;
constexpr size_t kCfgSnValueOffset = 92;
constexpr size_t kCfgMaxProgramCountOffset = 102;

// The model names by series code; the last entry serves every other code.
struct ModelName {
  uint8_t series;
  std::string_view name;
};
constexpr ModelName kModelNames[] = {
    {3, "OGX-100"},  {5, "OGX-110"},  {7, "OGX-120"},  {9, "OGX-130"},  {11, "OGX-200"}, {13, "OGX-210"},
    {15, "OGX-220"}, {17, "OGX-230"}, {19, "OGX-300"}, {21, "OGX-310"}, {23, "OGX-320"}, {25, "OGX-330"},
    {27, "OGX-400"}, {29, "OGX-410"}, {31, "OGX-420"}, {33, "OGX-430"}, {35, "OGX-500"}, {37, "OGX-510"},
    {41, "OGX-520"}, {45, "OGX-600"}, {49, "OGX-610"}, {53, "OGX-700"}, {59, "OGX-800"},
};
constexpr std::string_view kDefaultModelName = "OrvantGengX-BEM";
// clang-format on

bool SizesFit(uint32_t romKB, uint32_t eepSize, uint32_t flashStart, uint32_t baseAddress) {
  const uint64_t flashBytes = uint64_t{romKB} * 1024;
  return romKB >= 1 && std::max(flashStart, baseAddress) + flashBytes <= kFlashImageBytes &&
         eepSize <= kEepImageBytes;
}

void Report(const std::string& text, bool box) {
  if (g.OrvantBEMxPrg) g.OrvantBEMxPrg->LogLine(text);
  if (box) ShowMessage(text);
}

// The byte-field routines of the writer: every byte goes through PrjPutByte
// and into the running sum.
class ProjectWriter {
public:
  std::string bytes;
  uint32_t sum = 0;

  void PrjPutByte(uint8_t b) {
    bytes.push_back(static_cast<char>(b));
    sum += b;
  }
  void PrjPutWord(uint16_t v) {
    uint8_t le[2];
    PutLe16(le, v);
    for (uint8_t b : le) PrjPutByte(b);
  }
  void PrjPutDWord(uint32_t v) {
    PrjPutWord(static_cast<uint16_t>(v));
    PrjPutWord(static_cast<uint16_t>(v >> 16));
  }
  void PrjPutFill(size_t n, uint8_t b) {
    for (size_t i = 0; i < n; ++i) PrjPutByte(b);
  }
  void PrjPutRandom(size_t n) {
    for (size_t i = 0; i < n; ++i) PrjPutByte(RandomByte());
  }
  // The bytes of the text that fit in `width` masked, then zeros (not
  // masked). A longer text is cut at its last whole UTF-8 character that
  // fits: a cut one reads back ending in U+FFFD.
  void PrjPutText(std::string_view text, size_t width, uint8_t mask) {
    const size_t used = FittingUtf8Bytes(text, width);
    for (size_t i = 0; i < used; ++i) PrjPutByte(static_cast<uint8_t>(text[i]) ^ mask);
    PrjPutFill(width - used, 0);
  }
  // Key byte, then the data masked with the pad and the key, a new key byte
  // after every 1024 data bytes. byteAt(j) gives data byte j.
  template <typename ByteAt>
  void PutKeyedSection(size_t count, ByteAt&& byteAt) {
    uint8_t key = RandomByte();
    PrjPutByte(key);
    size_t i = 0;
    for (size_t j = 0; j < count; ++j) {
      PrjPutByte(byteAt(j) ^ ProjectPad[i] ^ key);
      if (++i == kKeyRunBytes) {
        i = 0;
        key = RandomByte();
        PrjPutByte(key);
      }
    }
  }
};

// The reader's side: a read past the end of the file gives 0, summed like
// any other byte, and marks the file as cut short.
class ProjectReader {
public:
  explicit ProjectReader(const std::string& file) : file_(file) {}
  uint32_t sum = 0;

  uint8_t PrjGetByte() {
    const uint8_t b = at_ < file_.size() ? static_cast<uint8_t>(file_[at_]) : 0;
    ++at_;
    sum += b;
    return b;
  }
  uint16_t PrjGetWord() {
    uint8_t le[2];
    for (uint8_t& b : le) b = PrjGetByte();
    return GetLe16(le);
  }
  uint32_t PrjGetDWord() {
    const uint16_t low = PrjGetWord();
    return low | (uint32_t{PrjGetWord()} << 16);
  }
  // `width` characters; padding comes back as characters of code 0.
  std::string PrjGetText(size_t width, uint8_t mask) {
    std::string text(width, '\0');
    for (size_t i = 0; i < width; ++i) {
      const uint8_t b = PrjGetByte();
      text[i] = static_cast<char>(b == 0 ? 0 : b ^ mask);
    }
    return text;
  }
  void PrjSkip(size_t n) {
    for (size_t i = 0; i < n; ++i) PrjGetByte();
  }
  // A read has gone past the end of the file.
  bool CutShort() const { return at_ > file_.size(); }
  // A stored value that is not part of the sum.
  uint32_t GetUnsummedDWord() {
    const uint32_t before = sum;
    const uint32_t value = PrjGetDWord();
    sum = before;
    return value;
  }
  void GetKeyedSection(uint8_t* into, size_t count, const uint8_t* pad) {
    uint8_t key = PrjGetByte();
    size_t i = 0;
    for (size_t j = 0; j < count; ++j) {
      into[j] = PrjGetByte() ^ pad[i] ^ key;
      if (++i == kKeyRunBytes) {
        i = 0;
        key = PrjGetByte();
      }
    }
  }

private:
  const std::string& file_;
  size_t at_ = 0;
};

// What a load reads, kept apart from the shared state until the file has
// proved sound.
struct ProjectStage {
  uint8_t chipSeries = 0;
  std::string chipName, dataFileName;
  uint32_t imageSum32 = 0, fileSum = 0, eepSum = 0, fileStart = 0, fileEnd = 0;
  uint8_t snDisplayFlags = 0;
  uint32_t flashBytes = 0;
  uint16_t eepSize = 0;
  uint32_t flashStart = 0, eepStart = 0, spareWord = 0, baseAddress = 0;
  uint16_t checkWords[6] = {};  // ImageSum16, ImagePacketCrc, Aux2, Aux1, Aux4, Aux3
  uint8_t pad[kProjectPadBytes] = {};
  uint8_t cfg[kCfgImageBytes] = {};
  std::vector<uint8_t> flash, eep;
};

void ReadHeader(ProjectReader& in, ProjectStage& s) {
  in.PrjSkip(1);
  s.chipSeries = in.PrjGetByte();
  in.PrjSkip(kModelNameBytes);
  s.chipName = in.PrjGetText(kChipNameBytes, kProjectFieldMask);
  s.dataFileName = in.PrjGetText(kDataFileNameBytes, kProjectFieldMask);
  in.PrjSkip(32);
  s.imageSum32 = in.PrjGetDWord();
  s.fileSum = in.PrjGetDWord();
  s.eepSum = in.PrjGetDWord();
  in.PrjSkip(20);
  in.PrjSkip(4);  // MaxProgramCount comes back from the configuration image
  s.fileStart = in.PrjGetDWord();
  s.fileEnd = in.PrjGetDWord();
  in.PrjSkip(88);
  s.snDisplayFlags = in.PrjGetByte();
  in.PrjSkip(1);
  s.flashBytes = in.PrjGetDWord();
  s.eepSize = in.PrjGetWord();
  in.PrjSkip(16);
  s.flashStart = in.PrjGetDWord();
  s.eepStart = in.PrjGetDWord();
  s.spareWord = in.PrjGetDWord();
  s.baseAddress = in.PrjGetDWord();
  in.PrjSkip(8 + 2);
  for (uint16_t& word : s.checkWords) word = static_cast<uint16_t>(in.PrjGetDWord());
  in.PrjSkip(24);
}

void WriteHeader(ProjectWriter& out, uint8_t seriesCode) {
  for (char c : kMagic) out.PrjPutByte(static_cast<uint8_t>(c));
  out.PrjPutByte(1);
  out.PrjPutByte(seriesCode);
  out.PrjPutText(ModelNameOf(seriesCode), kModelNameBytes, kProjectFieldMask);
  out.PrjPutText(g.ChipName, kChipNameBytes, kProjectFieldMask);
  out.PrjPutText(g.DataFileName, kDataFileNameBytes, kProjectFieldMask);
  out.PrjPutFill(32, 0);
  out.PrjPutDWord(g.ImageSum32);
  out.PrjPutDWord(g.FileSum);
  out.PrjPutDWord(g.EepSum);
  out.PrjPutFill(20, 0);
  out.PrjPutDWord(static_cast<uint32_t>(g.MaxProgramCount));
  out.PrjPutDWord(g.FileStart);
  out.PrjPutDWord(g.FileEnd);
  out.PrjPutFill(88, 0);
  out.PrjPutByte(g.SnDisplayFlags);
  out.PrjPutByte(0);
  ProjectFlashBytes = uint32_t{g.RomSizeKB} * 1024;
  out.PrjPutDWord(ProjectFlashBytes);
  out.PrjPutWord(g.EepSize);
  out.PrjPutFill(16, 0);
  out.PrjPutDWord(g.FlashStart);
  out.PrjPutDWord(g.EepStart);
  out.PrjPutDWord(ProjectSpareWord);
  out.PrjPutDWord(g.BaseAddress);
  out.PrjPutFill(8, 0);
  out.PrjPutFill(2, 0);
  for (uint16_t word : {g.ImageSum16, g.ImagePacketCrc, g.AuxCheckWord2, g.AuxCheckWord1, g.AuxCheckWord4,
                        g.AuxCheckWord3})
    out.PrjPutDWord(word);
  out.PrjPutFill(24, 0);
}

bool TagMatches(ProjectReader& in, std::string_view tag, uint8_t mask) { return in.PrjGetText(3, mask) == tag; }

void Commit(const ProjectStage& s, uint32_t sum) {
  g.ChipSeries = s.chipSeries;
  g.ChipName = s.chipName;
  g.DataFileName = s.dataFileName;
  g.ImageSum32 = s.imageSum32;
  g.FileSum = s.fileSum;
  g.EepSum = s.eepSum;
  g.FileStart = s.fileStart;
  g.FileEnd = s.fileEnd;
  g.SnDisplayFlags = s.snDisplayFlags;
  ProjectFlashBytes = s.flashBytes;
  g.RomSizeKB = static_cast<uint16_t>(s.flashBytes >> 10);
  g.EepSize = s.eepSize;
  g.FlashStart = s.flashStart;
  g.EepStart = s.eepStart;
  ProjectSpareWord = s.spareWord;
  g.BaseAddress = s.baseAddress;
  g.ImageSum16 = s.checkWords[0];
  g.ImagePacketCrc = s.checkWords[1];
  g.AuxCheckWord2 = s.checkWords[2];
  g.AuxCheckWord1 = s.checkWords[3];
  g.AuxCheckWord4 = s.checkWords[4];
  g.AuxCheckWord3 = s.checkWords[5];
  std::memcpy(ProjectPad, s.pad, kProjectPadBytes);
  std::memcpy(g.ProjectCfgBlock, s.cfg, kCfgImageBytes);
  std::copy(s.flash.begin(), s.flash.end(), g.FlashImage + s.baseAddress);
  std::copy(s.eep.begin(), s.eep.end(), g.EepImage);
  ProjectSum = sum;
}

// Reads the sections; returns the result code, kProjectLoaded when every
// tag was found (the sum is tested by the caller). A file that ends before
// the bytes a step needs ends the load there, with the code of what is
// missing from that place on: the tag the step reads or the one after its
// data, or the sum after the EEP section. Zeros read past the end would
// otherwise pass for data and, under 64 KB, even for the stored sum's top byte.
uint8_t ReadSections(ProjectReader& in, ProjectStage& s) {
  uint8_t result = kProjectLoaded;
  std::memcpy(s.pad, ProjectPad, kProjectPadBytes);  // the byte past the stored ones stays
  for (size_t i = 0; i < kStoredPadBytes; ++i) s.pad[i] = in.PrjGetByte();

  const bool cfgFound = TagMatches(in, "CFG", kCfgTagMask);
  if (in.CutShort()) return kProjectNoCfgTag;
  if (cfgFound) {
    const uint8_t key = in.PrjGetByte();
    for (size_t i = 0; i < kCfgImageBytes; ++i) s.cfg[i] = in.PrjGetByte() ^ s.pad[i] ^ key;
    if (in.CutShort()) return kProjectNoMfmTag;
    if (!SizesFit(GetLe16(s.cfg + kCfgRomSizeKBOffset), GetLe16(s.cfg + kCfgEepSizeOffset), s.flashStart,
                  s.baseAddress))
      return kProjectSizesRefused;
  } else {
    result = kProjectNoCfgTag;
  }
  const bool mfmFound = TagMatches(in, "MFM", kMfmTagMask);
  if (in.CutShort()) return kProjectNoMfmTag;
  if (mfmFound) {
    s.flash.resize(s.flashBytes);
    in.GetKeyedSection(s.flash.data(), s.flash.size(), s.pad);
    if (in.CutShort()) return kProjectNoEepTag;
  } else {
    result = kProjectNoMfmTag;
  }
  const bool eepFound = TagMatches(in, "EEP", kEepTagMask);
  if (in.CutShort()) return kProjectNoEepTag;
  if (eepFound) {
    in.PrjSkip(2);
    if (s.eepSize > 0) {
      s.eep.resize(s.eepSize);
      in.GetKeyedSection(s.eep.data(), s.eep.size(), s.pad);
    }
    if (in.CutShort()) return kProjectSumMismatch;
  } else {
    result = kProjectNoEepTag;
  }
  return result;
}
}  // namespace

std::string_view ModelNameOf(uint8_t seriesCode) {
  for (const ModelName& m : kModelNames)
    if (m.series == seriesCode) return m.name;
  return kDefaultModelName;
}

void SaveProjectFile(const std::string& path, uint8_t seriesCode, const OfflineBlockBuilder& buildOfflineBlock) {
  // The file comes first: a save that cannot create it draws nothing, so the
  // shared generator, the pad and channel 0's packet slot stay as they were.
  FileReplacement file(path);
  for (uint8_t& b : ProjectPad) b = RandomByte();
  ProjectWriter out;
  WriteHeader(out, seriesCode);
  for (size_t i = 0; i < kStoredPadBytes; ++i) out.PrjPutByte(ProjectPad[i]);

  out.PrjPutText("CFG", 3, kCfgTagMask);
  const uint8_t key = RandomByte();
  out.PrjPutByte(key);
  std::array<uint8_t, kCfgImageBytes> image{};
  buildOfflineBlock(image.data());
  std::memcpy(image.data() + kOfflineBlockBytes, image.data(), kOfflineBlockBytes);
  for (size_t i = 0; i < kCfgImageBytes; ++i) out.PrjPutByte(image[i] ^ ProjectPad[i] ^ key);

  // Bytes past the image buffers (a range that no catalogue chip gives) are
  // saved blank rather than read from beyond the buffer.
  out.PrjPutText("MFM", 3, kMfmTagMask);
  out.PutKeyedSection(ProjectFlashBytes, [](size_t j) {
    const uint64_t at = uint64_t{g.BaseAddress} + j;
    return at < kFlashImageBytes ? g.FlashImage[at] : uint8_t{0xFF};
  });
  out.PrjPutText("EEP", 3, kEepTagMask);
  out.PrjPutWord(RandomWord());
  if (g.EepSize > 0)
    out.PutKeyedSection(g.EepSize, [](size_t j) { return j < kEepImageBytes ? g.EepImage[j] : uint8_t{0xFF}; });

  ProjectSum = out.sum;
  uint8_t stored[4];
  PutLe32(stored, ProjectSum);
  out.bytes.append(reinterpret_cast<const char*>(stored), sizeof stored);
  for (size_t i = 0; i < kTailBytes; ++i) out.bytes.push_back(static_cast<char>(RandomByte()));
  file.Commit(out.bytes);
  Report(kCreatedText + path, true);
}

uint8_t LoadProjectFile(const std::string& path) {
  const std::string file = ReadRegularFile(path, kMaxProjectFileBytes);
  ProjectReader in(file);
  ProjectStage stage;
  uint8_t result = kProjectLoaded;
  const char* message = kCorruptedText;
  if (in.PrjGetText(kMagic.size(), 0) != kMagic) {
    result = kProjectNotAProject;
    message = kNotAProjectText;
  } else {
    ReadHeader(in, stage);
    if (in.CutShort()) {
      result = kProjectNoCfgTag;  // the header runs up to the CFG tag
    } else if (uint64_t{stage.baseAddress} + stage.flashBytes > kFlashImageBytes || stage.flashBytes < kMinFlashBytes ||
        stage.eepSize > kEepImageBytes) {
      result = kProjectSizesRefused;
    } else {
      result = ReadSections(in, stage);
      if (result == kProjectLoaded) {
        const uint32_t sum = in.sum;
        const uint32_t stored = in.GetUnsummedDWord();
        if (stored == sum && !in.CutShort()) {
          Commit(stage, sum);
          message = kLoadedText;
        } else {
          result = kProjectSumMismatch;
        }
      }
    }
  }
  Report(message, !g.CommandLineMode);
  return result;
}

void ApplyProjectCfg() {
  const uint8_t* cfg = g.ProjectCfgBlock;
  for (const ByteField& f : kCfgBytes) g.*f.field = cfg[f.offset];
  for (const WordField& f : kCfgWords) g.*f.field = GetLe16(cfg + f.offset);
  g.SnAddress = GetLe32(cfg + kCfgSnAddressOffset);
  g.SnValue = GetLe32(cfg + kCfgSnValueOffset);
  g.MaxProgramCount = static_cast<int32_t>(GetLe32(cfg + kCfgMaxProgramCountOffset));

  const uint16_t romKB = GetLe16(cfg + kCfgRomSizeKBOffset);
  const uint16_t eepSize = GetLe16(cfg + kCfgEepSizeOffset);
  if (!SizesFit(romKB, eepSize, g.FlashStart, g.BaseAddress)) return;
  g.RomSizeKB = romKB;
  g.EepSize = eepSize;
  g.FlashEnd = g.FlashStart + uint32_t{romKB} * 1024 - 1;
  if (eepSize > 0) g.EepEnd = g.EepStart + eepSize - 1;
}
