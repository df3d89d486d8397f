// detect_page_charset against the step-by-step reading; utf8_to_gbk stops at the first zero
// byte, never yields one, and leaves ASCII as it is.
#include <cstdlib>

#include "fuzz_input.h"
#include "net/page_charset.h"
#include "support/expansion_reference.h"
#include "text/text_codec.h"

using namespace quillrank;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::string page = reference::marker_text_from(fuzzing::FuzzInput(data, size).remaining(),
                                                       reference::meta_pieces());
  const GbkText verdict = detect_page_charset(page);
  if (verdict != reference::detect_page_charset(page)) std::abort();
  if (verdict != kGbkVerdict && verdict != kUtf8Verdict) std::abort();

  const GbkText gbk = utf8_to_gbk(ByteBuffer{std::string(raw)});
  if (gbk.find('\0') != std::string::npos) std::abort();
  const std::string_view before_zero = raw.substr(0, raw.find('\0'));
  if (gbk != utf8_to_gbk_text(before_zero)) std::abort();
  bool ascii = true;
  for (const char c : before_zero) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii && gbk != before_zero) std::abort();
  return 0;
}
