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

// The engines of an earlier version's four ticks, in their order.
constexpr const char* kFourTickKeys[] = {"baidu", "google", "sogou", "soso"};

// The ticks by engine key, from an object of keys and booleans or the four ticks of an earlier
// version; nullopt when `json` is neither.
std::optional<std::map<std::string, bool>> read_ticks(const QJsonValue& json) {
  std::map<std::string, bool> ticks;
  if (json.isObject()) {
    const QJsonObject keys = json.toObject();
    for (auto tick = keys.begin(); tick != keys.end(); ++tick) {
      if (!tick.value().isBool()) return std::nullopt;
      ticks[tick.key().toStdString()] = tick.value().toBool();
    }
    return ticks;
  }
  const QJsonArray four = json.toArray();
  if (!json.isArray() || four.size() != static_cast<qsizetype>(std::size(kFourTickKeys))) {
    return std::nullopt;
  }
  for (qsizetype engine = 0; engine < four.size(); ++engine) {
    if (!four.at(engine).isBool()) return std::nullopt;
    ticks[kFourTickKeys[engine]] = four.at(engine).toBool();
  }
  return ticks;
}

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
  std::optional<std::map<std::string, bool>> ticks =
      read_ticks(json.value(QStringLiteral("ticks")));
  if (!box.isString() || !ticks) return std::nullopt;
  WindowState state;
  state.box = box.toString();
  state.ticks = std::move(*ticks);
  state.geometry =
      QByteArray::fromBase64(json.value(QStringLiteral("geometry")).toString().toLatin1());
  state.columns =
      QByteArray::fromBase64(json.value(QStringLiteral("columns")).toString().toLatin1());
  state.list_width = json.value(QStringLiteral("list_width")).toInt();
  state.folder = json.value(QStringLiteral("folder")).toString();
  state.project = json.value(QStringLiteral("project")).toString();
  return state;
}

bool write_window_state(const QString& path, const WindowState& state, QString& error) {
  QJsonObject ticks;
  for (const auto& [key, ticked] : state.ticks) ticks.insert(QString::fromStdString(key), ticked);
  const QJsonObject json{
      {QStringLiteral("box"), state.box},
      {QStringLiteral("ticks"), ticks},
      {QStringLiteral("geometry"), QString::fromLatin1(state.geometry.toBase64())},
      {QStringLiteral("columns"), QString::fromLatin1(state.columns.toBase64())},
      {QStringLiteral("list_width"), state.list_width},
      {QStringLiteral("folder"), state.folder},
      {QStringLiteral("project"), state.project},
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
