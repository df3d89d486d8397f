#include "app/window/keyword_file_io.h"

#include <QFile>
#include <QSaveFile>

#include "keywords/keyword_file.h"

namespace quillrank {

bool save_keyword_file(const QString& path, const GbkText& text, QString& error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return false;
  }
  const ByteBuffer bytes = to_bytes(text);
  if (file.write(bytes.bytes.data(), static_cast<qint64>(bytes.size())) !=
      static_cast<qint64>(bytes.size())) {
    error = file.errorString();
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

std::optional<GbkText> load_keyword_file(const QString& path, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
    return std::nullopt;
  }
  const QByteArray content = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    error = file.errorString();
    return std::nullopt;
  }
  return decode_keyword_file(
      ByteBuffer{std::string(content.constData(), static_cast<std::size_t>(content.size()))});
}

}  // namespace quillrank
