// The one crossing between the input box's Unicode text and the keyword list's GbkText: what the
// core reads from the box and what it writes back go through these two functions only.
#pragma once

#include <QString>
#include <string_view>

#include "text/gbk_text.h"

namespace quillrank {

// The box's lines joined by CR LF, in GBK. A character GBK lacks becomes "?"; the text ends at
// the first U+0000, as a GbkText holds no zero byte.
GbkText box_to_gbk(const QString& box_text);

// GBK text as the box shows it: each CR LF is one line break (the box's own "\n").
QString gbk_to_box(std::string_view text);

}  // namespace quillrank
