// The entries of a zip archive (stored or deflated, as an .xlsx workbook holds them), read from
// its central directory, for tests that look inside a file written as a zip.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillrank::testing {

namespace zip_detail {

inline std::uint32_t little(std::string_view bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

inline std::optional<std::string> inflated(std::string_view data, std::size_t size) {
  std::string out(size, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  const bool whole = result == Z_STREAM_END && stream.total_out == size;
  inflateEnd(&stream);
  return whole ? std::optional(out) : std::nullopt;
}

}  // namespace zip_detail

// Each entry's name and contents; nullopt when `zip` is no well-formed archive of that kind.
inline std::optional<std::map<std::string, std::string>> zip_entries(std::string_view zip) {
  using zip_detail::little;
  constexpr std::size_t kEndSize = 22;
  if (zip.size() < kEndSize) return std::nullopt;
  std::size_t end = zip.size() - kEndSize;
  while (little(zip, end, 4) != 0x06054b50) {
    if (end == 0) return std::nullopt;
    --end;
  }
  const std::uint32_t count = little(zip, end + 10, 2);
  std::size_t at = little(zip, end + 16, 4);
  std::map<std::string, std::string> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 46 > zip.size() || little(zip, at, 4) != 0x02014b50) return std::nullopt;
    const std::uint32_t method = little(zip, at + 10, 2), packed = little(zip, at + 20, 4),
                        size = little(zip, at + 24, 4), name_size = little(zip, at + 28, 2),
                        local = little(zip, at + 42, 4);
    const std::string name(zip.substr(at + 46, name_size));
    at += 46 + name_size + little(zip, at + 30, 2) + little(zip, at + 32, 2);
    if (local + 30 > zip.size() || little(zip, local, 4) != 0x04034b50) return std::nullopt;
    const std::size_t data = local + 30 + little(zip, local + 26, 2) + little(zip, local + 28, 2);
    if (data + packed > zip.size()) return std::nullopt;
    std::optional<std::string> contents;
    if (method == 0 && packed == size) contents = std::string(zip.substr(data, size));
    if (method == 8) contents = zip_detail::inflated(zip.substr(data, packed), size);
    if (!contents) return std::nullopt;
    entries[name] = std::move(*contents);
  }
  return entries;
}

}  // namespace quillrank::testing
