#include "app/window/window_state.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace quillrank {
namespace {

// A 64 MiB keyword list as JSON text, with room for the rest.
constexpr qint64 kMaxStateBytes = qint64{256} << 20;

}  // namespace

QString default_window_state_path() {
  const QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (!state.isEmpty()) return state + QStringLiteral("/quillrank/window.json");
  const QString home = qEnvironmentVariable("HOME");
  if (!home.isEmpty()) return home + QStringLiteral("/.local/state/quillrank/window.json");
  return {};
}

std::optional<WindowState> read_window_state(const QString& path) {
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxStateBytes) {
    return std::nullopt;
  }
  const QJsonDocument document = QJsonDocument::fromJson(file.read(kMaxStateBytes));
  if (!document.isObject()) return std::nullopt;
  const QJsonObject json = document.object();
  // The box and the ticks make a state; without them the file is not one the program wrote.
  const QJsonValue box = json.value(QStringLiteral("box"));
  const QJsonArray ticks = json.value(QStringLiteral("ticks")).toArray();
  if (!box.isString() || ticks.size() != static_cast<qsizetype>(kEngineCount)) return std::nullopt;
  WindowState state;
  state.box = box.toString();
  for (std::size_t engine = 0; engine < kEngineCount; ++engine) {
    const QJsonValue ticked = ticks.at(static_cast<qsizetype>(engine));
    if (!ticked.isBool()) return std::nullopt;
    state.ticks[engine] = ticked.toBool();
  }
  state.geometry =
      QByteArray::fromBase64(json.value(QStringLiteral("geometry")).toString().toLatin1());
  state.columns =
      QByteArray::fromBase64(json.value(QStringLiteral("columns")).toString().toLatin1());
  state.list_width = json.value(QStringLiteral("list_width")).toInt();
  state.folder = json.value(QStringLiteral("folder")).toString();
  return state;
}

bool write_window_state(const QString& path, const WindowState& state, QString& error) {
  QJsonArray ticks;
  for (const bool ticked : state.ticks) ticks.append(ticked);
  const QJsonObject json{
      {QStringLiteral("box"), state.box},
      {QStringLiteral("ticks"), ticks},
      {QStringLiteral("geometry"), QString::fromLatin1(state.geometry.toBase64())},
      {QStringLiteral("columns"), QString::fromLatin1(state.columns.toBase64())},
      {QStringLiteral("list_width"), state.list_width},
      {QStringLiteral("folder"), state.folder},
  };
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    error = QStringLiteral("无法创建文件夹“%1”").arg(QFileInfo(path).absolutePath());
    return false;
  }
  QSaveFile file(path);
  const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Compact);
  // The user's keyword list: for the user's eyes only.
  if (!file.open(QIODevice::WriteOnly) ||
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
      file.write(text) != text.size() || !file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace quillrank
