// bench_image_load: loading a 4 MB image as Intel HEX (32-byte records) and
// as S-record into FlashImage, against srec_cat converting the same files to
// binary on this machine. Best of several runs each; the last two lines are
//   hex 4 MB: T ms, srec_cat S ms, ratio R
//   srec 4 MB: T ms, srec_cat S ms, ratio R
// Aim: a ratio of at most 0.5. Needs srec_cat (Debian package srecord).
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "catalogue/intel_hex.h"
#include "catalogue/srecord.h"
#include "shared/state.h"

namespace {

constexpr int kRuns = 5;
constexpr uint32_t kImageBytes = 4u << 20;

double BestMs(const std::function<bool()>& run) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

struct Figures {
  double ours, theirs;
};

// Loads `path` with `load` and converts it with srec_cat; false when either
// fails or the loaded image is not the source.
bool Measure(const char* label, const std::string& path, const char* srecCatFormat, const std::string& binPath,
             const std::vector<uint8_t>& image,
             const std::function<void(const std::string&, uint32_t&, uint32_t&, uint32_t&)>& load, Figures& out) {
  out.ours = BestMs([&] {
    uint32_t low = 0, high = 0, sum = 0;
    load(path, low, high, sum);
    return low == 0 && high == kImageBytes - 1;
  });
  if (out.ours < 0 || !std::equal(image.begin(), image.end(), g.FlashImage)) {
    std::fprintf(stderr, "%s: the loaded image differs from its source\n", label);
    return false;
  }
  const std::string command = "srec_cat '" + path + "' " + srecCatFormat + " -o '" + binPath + "' -binary 2>/dev/null";
  out.theirs = BestMs([&] { return std::system(command.c_str()) == 0; });
  if (out.theirs < 0) {
    std::fprintf(stderr, "%s: srec_cat failed (is the package srecord installed?)\n", label);
    return false;
  }
  std::printf("%s: ours %.1f ms, srec_cat %.1f ms (best of %d)\n", label, out.ours, out.theirs, kRuns);
  return true;
}

}  // namespace

int main() {
  std::string folder = (std::filesystem::temp_directory_path() / "orv_bench_XXXXXX").string();
  if (!::mkdtemp(folder.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  std::vector<uint8_t> image(kImageBytes);
  std::mt19937 random(42);
  for (uint8_t& b : image) b = static_cast<uint8_t>(random());

  ResetState();
  g.FlashStart = 0;
  g.FlashEnd = kImageBytes - 1;
  g.EepStart = g.EepEnd = 0xFFFFFFFF;
  std::copy(image.begin(), image.end(), g.FlashImage);
  const std::string hexPath = folder + "/image.hex";
  const std::string srecPath = folder + "/image.s28";
  WriteHexFile(hexPath, g.FlashImage, kFlashImageBytes, 0, 0, kImageBytes - 1);
  WriteSRecFile(srecPath, g.FlashImage, kFlashImageBytes, 0, 0, kImageBytes - 1);
  std::printf("files: hex %ju bytes, srec %ju bytes\n", static_cast<uintmax_t>(std::filesystem::file_size(hexPath)),
              static_cast<uintmax_t>(std::filesystem::file_size(srecPath)));

  Figures hex{}, srec{};
  const bool ok = Measure("hex", hexPath, "-intel", folder + "/hex.bin", image, LoadHexFile, hex) &&
                  Measure("srec", srecPath, "-motorola", folder + "/srec.bin", image, LoadSRecFile, srec);
  std::filesystem::remove_all(folder);
  if (!ok) return 1;
  std::printf("hex 4 MB: %.0f ms, srec_cat %.0f ms, ratio %.2f\n", hex.ours, hex.theirs, hex.ours / hex.theirs);
  std::printf("srec 4 MB: %.0f ms, srec_cat %.0f ms, ratio %.2f\n", srec.ours, srec.theirs, srec.ours / srec.theirs);
  return 0;
}
