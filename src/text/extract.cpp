#include "text/extract.h"

namespace quillrank {

GbkText extract_between(std::string_view text, std::string_view left, std::string_view right,
                        bool include_markers, bool case_sensitive) {
  const bool ignore_case = !case_sensitive;
  // Whole-number position arithmetic in 64 bits: lengths near INT_MAX cannot overflow.
  const long long text_len = text_length(text);
  const long long left_len = text_length(left);
  auto as_count = [](long long n) { return truncate_number(static_cast<double>(n)); };

  if (left.empty()) {
    const long long pos_r = find_text(text, right, ignore_case);
    GbkText piece = left_text(text, as_count(pos_r - 1));
    return include_markers ? concat_text(piece, right) : piece;
  }
  if (right.empty()) {
    const long long pos_l = find_text(text, left, ignore_case);
    GbkText piece = right_text(text, as_count(text_len - pos_l + 1 - left_len));
    return include_markers ? concat_text(left, piece) : piece;
  }
  const long long pos_l = find_text(text, left, ignore_case);
  const long long start = pos_l + left_len;
  const long long pos_r = find_text(text, right, as_count(start), /*ignore_case=*/true);
  GbkText piece = mid_text(text, as_count(start), as_count(pos_r - pos_l - left_len));
  return include_markers ? concat_text(left, piece, right) : piece;
}

}  // namespace quillrank
