// Reading and writing a keyword list file: the box text as GBK bytes (CR LF, no byte order mark,
// no terminator) on the way out, and the keyword file decoding rule on the way in. Failures
// come back as Chinese sentences for the window's warnings.
#pragma once

#include <QString>
#include <optional>

#include "keywords/keyword_file.h"
#include "text/gbk_text.h"

namespace quillrank {

// Replaces `path` with `text` atomically: a temporary file beside it is written and renamed into
// place, so a failed write leaves any earlier file whole. False with `error` set on failure.
bool save_keyword_file(const QString& path, const GbkText& text, QString& error);

// The file's keyword list, decoded (see keyword_file.h), or nullopt with `error` set when the
// file cannot be opened or read or is larger than kMaxKeywordFileBytes.
std::optional<DecodedKeywordFile> load_keyword_file(const QString& path, QString& error);

// Why `path` could not be read or written, in Chinese for the common causes (not found, no
// permission, disk full, a folder), with Qt's own `detail` after it in parentheses.
QString file_error_text(const QString& path, const QString& detail, bool writing);

}  // namespace quillrank
