#include "app/window/keyword_file_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

namespace quillrank {
namespace {

// Qt's text for a system error is the C library's, so a detail can be matched against it.
bool detail_is(const QString& detail, int error) {
  return detail.contains(qt_error_string(error), Qt::CaseInsensitive);
}

QString common_cause(const QString& path, const QString& detail, bool writing) {
  const QFileInfo file(path);
  if (file.isDir()) return QStringLiteral("这是一个文件夹，不是文件");
  if (detail_is(detail, ENOSPC)) return QStringLiteral("磁盘已满");
  if (detail_is(detail, EACCES) || detail_is(detail, EPERM) || detail_is(detail, EROFS)) {
    return writing ? QStringLiteral("没有写入权限") : QStringLiteral("没有读取权限");
  }
  if (writing) {
    if (!file.dir().exists()) return QStringLiteral("文件夹不存在");
    return QStringLiteral("写入失败");
  }
  if (!file.exists()) return QStringLiteral("文件不存在");
  return QStringLiteral("读取失败");
}

}  // namespace

QString file_error_text(const QString& path, const QString& detail, bool writing) {
  const QString cause = common_cause(path, detail, writing);
  return detail.isEmpty() ? cause : QStringLiteral("%1（%2）").arg(cause, detail);
}

bool save_keyword_file(const QString& path, const GbkText& text, QString& error) {
  QSaveFile file(path);
  const ByteBuffer bytes = to_bytes(text);
  const bool saved = file.open(QIODevice::WriteOnly) &&
                     file.write(bytes.bytes.data(), static_cast<qint64>(bytes.size())) ==
                         static_cast<qint64>(bytes.size()) &&
                     file.commit();
  if (!saved) error = file_error_text(path, file.errorString(), /*writing=*/true);
  return saved;
}

std::optional<DecodedKeywordFile> load_keyword_file(const QString& path, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = file_error_text(path, file.errorString(), /*writing=*/false);
    return std::nullopt;
  }
  // One byte past the cap tells a file that is too long, without reading an endless one.
  const QByteArray content = file.read(static_cast<qint64>(kMaxKeywordFileBytes) + 1);
  if (file.error() != QFileDevice::NoError) {
    error = file_error_text(path, file.errorString(), /*writing=*/false);
    return std::nullopt;
  }
  if (static_cast<std::size_t>(content.size()) > kMaxKeywordFileBytes) {
    error = QStringLiteral("文件大于 %1 MiB，不像是关键词列表").arg(kMaxKeywordFileBytes >> 20);
    return std::nullopt;
  }
  return decode_keyword_file(
      ByteBuffer{std::string(content.constData(), static_cast<std::size_t>(content.size()))});
}

}  // namespace quillrank
