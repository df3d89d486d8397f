// Reading and writing a keyword list file: the box text as GBK bytes (CR LF, no byte order mark,
// no terminator) on the way out, and the keyword file decoding rule on the way in.
#pragma once

#include <QString>
#include <optional>

#include "text/gbk_text.h"

namespace quillrank {

// Replaces `path` with `text` atomically: a temporary file beside it is written and renamed into
// place, so a failed write leaves any earlier file whole. False with `error` set on failure.
bool save_keyword_file(const QString& path, const GbkText& text, QString& error);

// The file's keyword list (UTF-8 files decoded, others taken as GBK, up to the first zero byte),
// or nullopt with `error` set when the file cannot be opened or read.
std::optional<GbkText> load_keyword_file(const QString& path, QString& error);

}  // namespace quillrank
