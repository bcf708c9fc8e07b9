#include "catalogue/data_file_kind.h"

#include <algorithm>

#include "toolkit/ascii.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string DataFileExtension(std::string_view path) {
  const std::string_view name = FileNameOf(path);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  return UpperAscii(name.substr(dot));
}

DataFileKind DataFileKindOf(std::string_view path) {
  const std::string extension = DataFileExtension(path);
  if (extension == ".HEX") return DataFileKind::IntelHex;
  if (extension.size() >= 4 && extension[1] == 'S' && extension[2] == '1' && IsDigit(extension[3]))
    return DataFileKind::SRecord;
  if (extension == ".BIN") return DataFileKind::Binary;
  return DataFileKind::Unsupported;
}

uint32_t BinRoomToChipEnd(uint32_t placement, uint32_t flashEnd, size_t imageBytes) {
  // 64-bit, so that a flash end at the top of the address space does not wrap.
  const uint64_t end = std::min<uint64_t>(uint64_t{flashEnd} + 1, imageBytes);
  return placement < end ? static_cast<uint32_t>(end - placement) : 0;
}
