// The codec never grows UTF-8 into longer GBK, always yields valid UTF-8, and a GBK text read
// back from its own UTF-8 form is unchanged wherever no "?" was needed.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/text_codec.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const GbkText gbk = utf8_to_gbk_text(bytes);
  if (gbk.size() > bytes.size()) std::abort();
  const std::string utf8 = gbk_to_utf8(bytes);
  if (!is_valid_utf8(utf8)) std::abort();
  if (utf8.find('?') == std::string::npos && bytes.find('?') == std::string::npos &&
      utf8_to_gbk_text(utf8) != bytes) {
    std::abort();
  }
  if (is_valid_utf8(bytes) && gbk_to_utf8(gbk).size() > 3 * bytes.size()) std::abort();
  return 0;
}
