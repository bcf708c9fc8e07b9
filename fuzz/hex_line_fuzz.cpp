// ParseHexLine over every line of the input, with one reader state.
#include "catalogue/intel_hex.h"
#include "fuzz_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetFuzzRanges();
  uint32_t upper = 0, segment = 0, lowest = 0xFFFFFFFF, highest = 0, sum = 0;
  ForEachLine(data, size, [&](std::string_view line) {
    const uint8_t code = ParseHexLine(line, upper, segment, lowest, highest, sum);
    if (code > kRecordOutsideChip) __builtin_trap();
  });
  return 0;
}
