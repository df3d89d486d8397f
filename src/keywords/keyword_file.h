// Bytes of a keyword list file (or the batch command's input) to the box's GBK text.
#pragma once

#include "text/gbk_text.h"

namespace quillrank {

// A file that starts with a UTF-8 byte order mark, or is valid UTF-8 holding non-ASCII bytes,
// is decoded from UTF-8 (what today's editors write); any other file is GBK as it stands. Either
// way the text ends at the first zero byte.
GbkText decode_keyword_file(const ByteBuffer& bytes);

}  // namespace quillrank
