// Keyword file decoding never fails on any bytes: the text holds no zero byte, every line end
// is CR LF, a GBK file without line ends or zero bytes comes back byte for byte, and what is
// counted as unreadable is no more than what became "?" (converted files) or the bytes from 0x80
// up (GBK files, which keep their bytes as they are).
#include <algorithm>
#include <cstdlib>

#include "keywords/keyword_file.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const DecodedKeywordFile decoded = decode_keyword_file(ByteBuffer{bytes});
  const GbkText& text = decoded.text;
  if (text.find('\0') != GbkText::npos) std::abort();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) std::abort();
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) std::abort();
  }
  const bool gbk = decoded.encoding == KeywordFileEncoding::gbk;
  const auto suspects = std::count_if(text.begin(), text.end(),
                                      [gbk](char c) { return gbk ? (c & 0x80) != 0 : c == '?'; });
  if (decoded.unreadable > static_cast<std::size_t>(suspects)) std::abort();
  if (gbk && bytes.find_first_of(std::string("\r\n\0", 3)) == std::string::npos && text != bytes) {
    std::abort();
  }
  return 0;
}
