#include "app/window/history_dialog.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <optional>

#include "engines/engines.h"

namespace quillrank {
namespace {

// The engines' line colours, in turn; a ninth engine starts over with dashed lines.
constexpr std::array<QRgb, 8> kEngineColours{0x2060C0, 0xC03030, 0xE08000, 0x209040,
                                             0x8040B0, 0x00A0A0, 0x806040, 0xD04090};

QPen engine_pen(std::size_t engine) {
  QPen pen{QColor(kEngineColours[engine % kEngineColours.size()])};
  pen.setWidth(2);
  if (engine >= kEngineColours.size()) pen.setStyle(Qt::DashLine);
  return pen;
}

// One run of the row: its cell of each engine, by the dialog's engine order, if it has one.
struct RunCells {
  std::int64_t run_id;
  std::int64_t started_ms;
  RunState state;
  std::vector<const CellRecord*> cells;
};

// The engines the dialog shows, by key and name: `engines`' first, then any other key the
// records name.
std::vector<std::pair<std::string, QString>> shown_engines(
    const std::vector<HistoryRecord>& records, const Engines& engines) {
  std::vector<std::pair<std::string, QString>> shown;
  for (const Engine& engine : engines) {
    shown.emplace_back(engine.key, QString::fromStdString(engine.profile.name));
  }
  for (const HistoryRecord& record : records) {
    const std::string& key = record.cell.engine;
    if (std::none_of(shown.begin(), shown.end(), [&](const auto& e) { return e.first == key; })) {
      shown.emplace_back(key, QString::fromStdString(key));
    }
  }
  return shown;
}

std::vector<RunCells> by_run(const std::vector<HistoryRecord>& records,
                             const std::vector<std::pair<std::string, QString>>& engines) {
  std::vector<RunCells> runs;
  for (const HistoryRecord& record : records) {
    const auto engine = std::find_if(engines.begin(), engines.end(),
                                     [&](const auto& e) { return e.first == record.cell.engine; });
    if (runs.empty() || runs.back().run_id != record.run_id) {
      runs.push_back({record.run_id, record.run_started_ms, record.run_state,
                      std::vector<const CellRecord*>(engines.size())});
    }
    runs.back().cells[static_cast<std::size_t>(engine - engines.begin())] = &record.cell;
  }
  return runs;
}

QString state_text(RunState state) {
  switch (state) {
    case RunState::completed:
      return QStringLiteral("完成");
    case RunState::stopped:
      return QStringLiteral("已停止");
    case RunState::running:
      break;
  }
  return QStringLiteral("未完成");
}

// Up to this rank the axis is linear; past it, ranks 1 to 10 would be squeezed into a sliver.
constexpr int kLinearRanks = 30;

// The rank axis, rank 1 at the top, labelled with whole numbers: linear with whole steps while
// the worst rank is small, else logarithmic so that the top ten stay apart beside a rank of 150.
QAbstractAxis* rank_axis(int worst, QObject* parent) {
  QAbstractAxis* axis = nullptr;
  if (worst <= kLinearRanks) {
    auto* linear = new QValueAxis(parent);
    linear->setRange(1, worst);
    linear->setTickType(QValueAxis::TicksDynamic);
    linear->setTickAnchor(1);
    linear->setTickInterval((worst + 9) / 10);
    linear->setLabelFormat(QStringLiteral("%.0f"));
    axis = linear;
  } else {
    auto* log = new QLogValueAxis(parent);
    log->setBase(10);
    log->setRange(1, worst);
    log->setMinorTickCount(8);  // 2 to 9 times each power of ten
    log->setLabelFormat(QStringLiteral("%.0f"));
    axis = log;
  }
  axis->setTitleText(QStringLiteral("排名"));
  axis->setReverse(true);
  return axis;
}

// One line per stretch of runs with a rank; a run that got no rank ends the stretch, and a run
// that did not ask the engine is passed over.
void add_engine_lines(QChart& chart, const std::vector<RunCells>& runs, std::size_t engine,
                      const QString& name, QAbstractAxis& x, QAbstractAxis& y) {
  QLineSeries* line = nullptr;
  bool first = true;
  for (const RunCells& run : runs) {
    const CellRecord* cell = run.cells[engine];
    if (!cell) continue;
    if (!cell->rank) {
      line = nullptr;
      continue;
    }
    if (!line) {
      line = new QLineSeries(&chart);
      line->setName(name);
      line->setPen(engine_pen(engine));
      line->setPointsVisible(true);
      chart.addSeries(line);
      line->attachAxis(&x);
      line->attachAxis(&y);
      // The legend names each engine once.
      if (!first) {
        for (QLegendMarker* marker : chart.legend()->markers(line)) marker->setVisible(false);
      }
      first = false;
    }
    line->append(static_cast<qreal>(run.started_ms), *cell->rank);
  }
}

}  // namespace

HistoryDialog::HistoryDialog(const QString& site, const QString& keyword,
                             const std::vector<HistoryRecord>& records, const Engines& engines,
                             QWidget* parent)
    : QDialog(parent), chart_(new QChart), runs_(new QTableWidget(this)) {
  setObjectName(QStringLiteral("历史排名对话框"));
  setWindowTitle(QStringLiteral("历史排名 - %1 - %2").arg(site, keyword));
  resize(720, 560);
  const std::vector<std::pair<std::string, QString>> shown = shown_engines(records, engines);
  const std::vector<RunCells> runs = by_run(records, shown);
  std::vector<bool> asked(shown.size());
  int worst = 10;
  for (const RunCells& run : runs) {
    for (std::size_t engine = 0; engine < shown.size(); ++engine) {
      asked[engine] = asked[engine] || run.cells[engine];
      if (run.cells[engine] && run.cells[engine]->rank) {
        worst = std::max(worst, *run.cells[engine]->rank);
      }
    }
  }

  auto* x = new QDateTimeAxis(chart_);
  x->setFormat(QStringLiteral("MM-dd HH:mm"));
  x->setTitleText(QStringLiteral("时间"));
  const qint64 first = runs.empty() ? QDateTime::currentMSecsSinceEpoch() : runs.front().started_ms;
  const qint64 last = runs.empty() ? first : runs.back().started_ms;
  constexpr qint64 kHour = 3600 * 1000;
  x->setRange(QDateTime::fromMSecsSinceEpoch(first - (first == last ? kHour : 0)),
              QDateTime::fromMSecsSinceEpoch(last + (first == last ? kHour : 0)));
  QAbstractAxis* y = rank_axis(worst, chart_);
  chart_->addAxis(x, Qt::AlignBottom);
  chart_->addAxis(y, Qt::AlignLeft);
  for (std::size_t engine = 0; engine < shown.size(); ++engine) {
    if (asked[engine]) add_engine_lines(*chart_, runs, engine, shown[engine].second, *x, *y);
  }
  chart_->setTitle(runs.empty() ? QStringLiteral("没有历史记录") : QString());
  auto* view = new QChartView(chart_, this);
  view->setRenderHint(QPainter::Antialiasing);

  QStringList headers{QStringLiteral("时间"), QStringLiteral("状态")};
  std::vector<std::size_t> columns;
  for (std::size_t engine = 0; engine < shown.size(); ++engine) {
    if (!asked[engine]) continue;
    headers << shown[engine].second;
    columns.push_back(engine);
  }
  runs_->setColumnCount(static_cast<int>(headers.size()));
  runs_->setHorizontalHeaderLabels(headers);
  runs_->setRowCount(static_cast<int>(runs.size()));
  runs_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  runs_->verticalHeader()->hide();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const RunCells& run = runs[runs.size() - 1 - i];  // newest first
    const int row = static_cast<int>(i);
    runs_->setItem(row, 0,
                   new QTableWidgetItem(QDateTime::fromMSecsSinceEpoch(run.started_ms)
                                            .toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    runs_->setItem(row, 1, new QTableWidgetItem(state_text(run.state)));
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const CellRecord* cell = run.cells[columns[c]];
      runs_->setItem(row, static_cast<int>(c) + 2,
                     new QTableWidgetItem(cell ? QString::fromStdString(cell->text) : QString()));
    }
  }
  runs_->resizeColumnsToContents();

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view, 3);
  layout->addWidget(runs_, 2);
}

}  // namespace quillrank
