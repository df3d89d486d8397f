// extract_between: the piece of a text between a left and a right marker, the way every field is
// cut out of a fetched page. Pure; never fails.
#pragma once

#include "text/gbk_text.h"

namespace quillrank {

// Three forms, tested in this order:
//  - left empty: the text before the first `right` (with `right` appended if include_markers);
//  - right empty: the text after the first `left` to the end;
//  - both: the bytes after the first `left` up to the first `right` after it. `right` is then
//    always sought ignoring ASCII case, whatever `case_sensitive` says.
// Positions of absent markers enter the arithmetic as -1 and the cutting clamps them, so an
// absent marker gives a clamped piece (for instance the text from byte L - 1 when a left marker
// of L >= 2 bytes is absent from the two-marker form), never an error.
GbkText extract_between(std::string_view text, std::string_view left, std::string_view right,
                        bool include_markers, bool case_sensitive);

}  // namespace quillrank
