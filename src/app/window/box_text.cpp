#include "app/window/box_text.h"

#include "text/text_codec.h"

namespace quillrank {

GbkText box_to_gbk(const QString& box_text) {
  QString lines = box_text;
  const qsizetype zero = lines.indexOf(QChar(u'\0'));
  if (zero >= 0) lines.truncate(zero);
  lines.replace(u'\n', QStringLiteral("\r\n"));
  const QByteArray utf8 = lines.toUtf8();
  return utf8_to_gbk_text(
      std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString gbk_to_box(std::string_view text) {
  const std::string utf8 = gbk_to_utf8(text);
  QString lines = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return lines;
}

}  // namespace quillrank
