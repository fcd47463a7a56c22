#include "ui/ArchiveCharts.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "survey/NoiseModels.h"
#include "survey/SurveyCharts.h"
#include "survey/SurveyTime.h"
#include "survey/SvgText.h"

namespace {

// The colours of the survey's page, so that the window and archive.html read alike.
const QColor DataColour(0x3c, 0x9a, 0x4c);
const QColor HoleColour(0xe8, 0xa0, 0xa0);
// Missing data in a day plot: paler than the page's, as most of a triggered recorder's day is.
const QColor GapShade(0xfb, 0xe2, 0xe2);
const QColor FrameColour(0x88, 0x88, 0x88);
const QColor GridColour(0xe4, 0xe4, 0xe4);
const QColor SelectColour(0x1f, 0x4e, 0x9c);
const QColor LineColours[] = {QColor(0x1b, 0x1b, 0x1b), QColor(0xc0, 0x39, 0x2b),
                              QColor(0x1f, 0x4e, 0x9c), QColor(0x21, 0x7a, 0x3c)};

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

// A text in the middle of an empty drawing.
void PaintMessage(QWidget& widget, const QString& text) {
  QPainter painter(&widget);
  painter.fillRect(widget.rect(), Qt::white);
  painter.setPen(QColor(0x55, 0x55, 0x55));
  painter.drawText(widget.rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap,
                   text);
}

QFont TitleFont(const QWidget& widget) {
  QFont font = widget.font();
  font.setBold(true);
  return font;
}

}  // namespace

// ---- Availability ----

namespace {
constexpr int ChartTop = 30;
constexpr int RowHeight = 22;
constexpr int AxisHeight = 26;
constexpr int ChartRight = 14;
}  // namespace

TAvailabilityChart::TAvailabilityChart(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TAvailabilityChart::SetChannels(std::vector<survey::TChannelAvailability> channels,
                                     const survey::TCampaignDays& days) {
  Shown = std::move(channels);
  CampaignDays = days;
  Text.clear();
  Selected = {};
  updateGeometry();
  update();
}

void TAvailabilityChart::ShowMessage(const QString& text) {
  Shown.clear();
  CampaignDays = {};
  Text = text;
  Selected = {};
  updateGeometry();
  update();
}

void TAvailabilityChart::Select(int channel, int64_t day) {
  Selected = {channel, day};
  update();
}

int TAvailabilityChart::LabelWidth() const {
  const QFontMetrics metrics(font());
  int widest = metrics.horizontalAdvance(QStringLiteral("XX.STA.00.HHZ"));
  for (const survey::TChannelAvailability& channel : Shown) {
    widest = std::max(widest, metrics.horizontalAdvance(FromStd(channel.Id)));
  }
  return widest + 20;
}

int TAvailabilityChart::RowTop(int channel) const {
  return ChartTop + channel * RowHeight;
}

double TAvailabilityChart::DayWidth() const {
  const int64_t count = std::max<int64_t>(CampaignDays.Count(), 1);
  return std::max(
      1.0, static_cast<double>(width() - LabelWidth() - ChartRight) / static_cast<double>(count));
}

QRect TAvailabilityChart::CellRect(int channel, int64_t day) const {
  if (channel < 0 || channel >= static_cast<int>(Shown.size()) || day < CampaignDays.First ||
      day > CampaignDays.Last) {
    return {};
  }
  const double x = LabelWidth() + static_cast<double>(day - CampaignDays.First) * DayWidth();
  return QRectF(x, RowTop(channel) + 2, DayWidth(), RowHeight - 4).toAlignedRect();
}

std::optional<TAvailabilityChart::TCell> TAvailabilityChart::CellAt(QPoint point) const {
  if (Shown.empty() || CampaignDays.Count() <= 0) return std::nullopt;
  const int left = LabelWidth();
  if (point.x() < left || point.y() < ChartTop) return std::nullopt;
  const int channel = (point.y() - ChartTop) / RowHeight;
  const auto day = CampaignDays.First + static_cast<int64_t>((point.x() - left) / DayWidth());
  if (channel >= static_cast<int>(Shown.size()) || day > CampaignDays.Last) return std::nullopt;
  return TCell{channel, day};
}

QSize TAvailabilityChart::sizeHint() const {
  const int rows = std::max(1, static_cast<int>(Shown.size()));
  return {LabelWidth() + 700, ChartTop + rows * RowHeight + AxisHeight};
}

QSize TAvailabilityChart::minimumSizeHint() const {
  return {LabelWidth() + 200, sizeHint().height()};
}

void TAvailabilityChart::paintEvent(QPaintEvent*) {
  if (Shown.empty()) {
    PaintMessage(*this, Text);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const QFontMetrics metrics(font());
  const int left = LabelWidth();
  const double dayWidth = DayWidth();
  const double chartWidth = dayWidth * static_cast<double>(CampaignDays.Count());
  const int64_t start = survey::DayStart(CampaignDays.First);
  const double perMicrosecond = dayWidth / static_cast<double>(survey::DayMicroseconds);

  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(TitleFont(*this));
  painter.drawText(QPoint(left, 19),
                   QStringLiteral("Availability per channel and UTC day: green data, red "
                                  "missing. Click a day for its day plot and noise."));
  painter.setFont(font());
  for (int row = 0; row < static_cast<int>(Shown.size()); ++row) {
    const survey::TChannelAvailability& channel = Shown[static_cast<size_t>(row)];
    const double top = RowTop(row);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(6, RowTop(row), left - 12, RowHeight), Qt::AlignVCenter,
                     FromStd(channel.Id));
    const QRectF bar(left, top + 3, chartWidth, RowHeight - 6);
    painter.fillRect(bar, HoleColour);
    for (const survey::TTimeSpan& span : channel.Spans) {
      const double x = left + static_cast<double>(span.Start - start) * perMicrosecond;
      const double w = std::max(1.0, static_cast<double>(span.End - span.Start) * perMicrosecond);
      painter.fillRect(QRectF(x, bar.top(), w, bar.height()).intersected(bar), DataColour);
    }
  }
  // Day boundaries across the bars, and the days named below when there is room.
  const double bottom = RowTop(static_cast<int>(Shown.size()));
  painter.setPen(QPen(QColor(255, 255, 255, 190), 1));
  for (int64_t d = 1; d < CampaignDays.Count(); ++d) {
    const double x = left + static_cast<double>(d) * dayWidth;
    painter.drawLine(QPointF(x, ChartTop), QPointF(x, bottom));
  }
  const bool fullDates = CampaignDays.Count() <= 4;
  const int labelWidth = metrics.horizontalAdvance(fullDates ? QStringLiteral("2026-06-14")
                                                             : QStringLiteral("06-14")) +
                         10;
  const auto labelEvery =
      std::max<int64_t>(1, static_cast<int64_t>(std::ceil(labelWidth / dayWidth)));
  painter.setPen(palette().color(QPalette::WindowText));
  for (int64_t d = 0; d < CampaignDays.Count(); d += labelEvery) {
    const std::string date = survey::DayText(CampaignDays.First + d);
    const double x = left + static_cast<double>(d) * dayWidth;
    painter.drawLine(QPointF(x, bottom), QPointF(x, bottom + 4));
    const QString label = FromStd(fullDates ? date : date.substr(5));
    if (labelEvery == 1 && dayWidth > labelWidth) {
      painter.drawText(QRectF(x, bottom + 4, dayWidth, 18), Qt::AlignHCenter | Qt::AlignTop, label);
    } else {
      painter.drawText(QPointF(x + 2, bottom + 17), label);
    }
  }
  const QRect selected = CellRect(Selected.Channel, Selected.Day);
  if (!selected.isEmpty()) {
    painter.setPen(QPen(SelectColour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(selected.adjusted(0, -1, 0, 1));
  }
}

void TAvailabilityChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  const std::optional<TCell> cell = CellAt(event->position().toPoint());
  if (cell) emit ChannelDayClicked(cell->Channel, cell->Day);
}

void TAvailabilityChart::mouseMoveEvent(QMouseEvent* event) {
  setCursor(CellAt(event->position().toPoint()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
  QWidget::mouseMoveEvent(event);
}

bool TAvailabilityChart::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const std::optional<TCell> cell = CellAt(help->pos());
    if (!cell) {
      QToolTip::hideText();
      event->ignore();
      return true;
    }
    const survey::TChannelAvailability& channel = Shown[static_cast<size_t>(cell->Channel)];
    const auto at = static_cast<size_t>(cell->Day - CampaignDays.First);
    const double percent = at < channel.Days.size() ? channel.Days[at].Percent : 0;
    QToolTip::showText(help->globalPos(),
                       FromStd(channel.Id + " " + survey::DayText(cell->Day) + ": ") +
                           QString::number(percent, 'f', 2) + QStringLiteral("% covered"),
                       this);
    return true;
  }
  return QWidget::event(event);
}

// ---- Day plot ----

namespace {
constexpr int PlotLeft = 50;
constexpr int PlotRight = 40;
constexpr int PlotTop = 30;
constexpr int PlotBottom = 28;

QString LineLabel(int64_t offset) {
  const int64_t minutes = offset / (60 * survey::Microseconds);
  return QStringLiteral("%1:%2")
      .arg(minutes / 60, 2, 10, QLatin1Char('0'))
      .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

TDayPlotView::TDayPlotView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TDayPlotView::SetPlot(survey::THelicorder plot) {
  Shown = std::move(plot);
  HasPlot = true;
  Text.clear();
  update();
}

void TDayPlotView::ShowMessage(const QString& text) {
  HasPlot = false;
  Shown = {};
  Text = text;
  update();
}

QSize TDayPlotView::sizeHint() const {
  return {760, 520};
}
QSize TDayPlotView::minimumSizeHint() const {
  return {360, 260};
}

void TDayPlotView::paintEvent(QPaintEvent*) {
  if (!HasPlot) {
    PaintMessage(*this, Text);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const survey::THelicorder& plot = Shown;
  const int lines = plot.Layout.Lines;
  const int64_t lineMinutes = plot.Layout.LineLength / (60 * survey::Microseconds);
  const double plotWidth = std::max(1, width() - PlotLeft - PlotRight);
  const double spacing =
      std::max(1.0, static_cast<double>(height() - PlotTop - PlotBottom) / lines);
  const double half = spacing / 2;
  const double columnWidth = plotWidth / std::max(1, plot.Columns);

  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(TitleFont(*this));
  painter.drawText(
      QPoint(PlotLeft, 19),
      FromStd(plot.Id + "  " + survey::DayText(plot.Day) + " UTC: " + std::to_string(lines) +
              " lines of " + std::to_string(lineMinutes) + " min; half a line's spacing = " +
              survey::Shortest(std::round(plot.Scale * 100) / 100) + " counts"));
  painter.setFont(font());
  const int labelEvery = spacing >= 14 ? 1 : spacing >= 7 ? 2 : 4;
  for (int line = 0; line < lines; ++line) {
    const double base = PlotTop + spacing * (line + 0.5);
    if (line % labelEvery == 0) {
      painter.setPen(palette().color(QPalette::WindowText));
      painter.drawText(QRectF(0, base - 8, PlotLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                       LineLabel(line * plot.Layout.LineLength));
    }
    const survey::THelicorderLine drawn = survey::HelicorderLine(plot, line, base, half, 0.8);
    for (const auto& [first, end] : drawn.Gaps) {
      painter.fillRect(QRectF(PlotLeft + static_cast<double>(first) * columnWidth, base - half,
                              static_cast<double>(end - first) * columnWidth, spacing),
                       GapShade);
    }
    std::vector<QLineF> trace;
    for (const survey::THelicorderStroke& stroke : drawn.Strokes) {
      const double x = PlotLeft + (static_cast<double>(stroke.Column) + 0.5) * columnWidth;
      trace.emplace_back(x, stroke.Top, x, stroke.Bottom);
    }
    if (!trace.empty()) {
      painter.setPen(QPen(LineColours[line % 4], 1));
      painter.drawLines(trace.data(), static_cast<int>(trace.size()));
    }
  }
  // Minutes along the line.
  const double bottom = PlotTop + spacing * lines;
  const int64_t tick = lineMinutes > 15 ? 5 : 1;
  painter.setPen(palette().color(QPalette::WindowText));
  for (int64_t m = 0; m <= lineMinutes; m += tick) {
    const double x = PlotLeft + plotWidth * static_cast<double>(m) /
                                    static_cast<double>(std::max<int64_t>(lineMinutes, 1));
    painter.drawLine(QPointF(x, bottom), QPointF(x, bottom + 4));
    painter.drawText(QRectF(x - 20, bottom + 5, 40, 16), Qt::AlignHCenter | Qt::AlignTop,
                     QString::number(m));
  }
  painter.drawText(QRectF(PlotLeft + plotWidth + 14, bottom + 5, PlotRight, 16),
                   Qt::AlignLeft | Qt::AlignTop, QStringLiteral("min"));
}

// ---- Noise ----

namespace {
constexpr int NoiseLeft = 66;
constexpr int NoiseRight = 16;
constexpr int NoiseTop = 72;
constexpr int NoiseBottom = 42;

struct TNoiseFrame {
  QRectF Area;
  survey::TNoiseRange Range;
  double X(double period) const {
    return Area.left() + Area.width() * (std::log10(period) - std::log10(Range.LowPeriod)) /
                             (std::log10(Range.HighPeriod) - std::log10(Range.LowPeriod));
  }
  double Y(double db) const {
    return Area.top() + Area.height() * (Range.HighDb - db) / (Range.HighDb - Range.LowDb);
  }
};

// A curve of dB values by period, broken where a value is missing or out of range.
void PaintCurve(QPainter& painter, const TNoiseFrame& frame, const std::vector<double>& periods,
                const std::vector<double>& db, const QPen& pen) {
  QPainterPath path;
  bool open = false;
  for (size_t i = 0; i < periods.size() && i < db.size(); ++i) {
    if (!std::isfinite(db[i]) || db[i] < frame.Range.LowDb || db[i] > frame.Range.HighDb) {
      open = false;
      continue;
    }
    const QPointF point(frame.X(periods[i]), frame.Y(db[i]));
    if (open) {
      path.lineTo(point);
    } else {
      path.moveTo(point);
      open = true;
    }
  }
  painter.strokePath(path, pen);
}

void PaintLegend(QPainter& painter, QPointF at, const std::vector<std::pair<QPen, QString>>& keys) {
  const QFontMetrics metrics(painter.font());
  double x = at.x();
  for (const auto& [pen, text] : keys) {
    painter.setPen(pen);
    painter.drawLine(QPointF(x, at.y()), QPointF(x + 22, at.y()));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x + 27, at.y() + metrics.ascent() / 2.0 - 1), text);
    x += 27 + metrics.horizontalAdvance(text) + 18;
  }
}
}  // namespace

TNoisePlot::TNoisePlot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TNoisePlot::SetNoise(const QString& title, survey::TNoiseSummary noise) {
  Shown = std::move(noise);
  HasNoise = true;
  Title = title;
  Text.clear();
  update();
}

void TNoisePlot::ShowMessage(const QString& text) {
  HasNoise = false;
  Shown = {};
  Text = text;
  update();
}

QSize TNoisePlot::sizeHint() const {
  return {560, 520};
}
QSize TNoisePlot::minimumSizeHint() const {
  return {360, 260};
}

void TNoisePlot::paintEvent(QPaintEvent*) {
  if (!HasNoise) {
    PaintMessage(*this, Text);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const survey::TNoiseSummary& noise = Shown;
  TNoiseFrame frame{QRectF(NoiseLeft, NoiseTop, std::max(1, width() - NoiseLeft - NoiseRight),
                           std::max(1, height() - NoiseTop - NoiseBottom)),
                    survey::NoiseChartRange(noise)};
  // A day of strong shaking (a triggered recorder's events) lies far above the high noise
  // model: the window widens its range to keep such data in sight.
  for (const auto* line : {&noise.P10Db, &noise.P90Db}) {
    for (double db : *line) {
      if (!std::isfinite(db)) continue;
      frame.Range.LowDb = std::min(frame.Range.LowDb, std::floor(db / 10) * 10 - 10);
      frame.Range.HighDb = std::max(frame.Range.HighDb, std::ceil(db / 10) * 10 + 10);
    }
  }
  std::vector<double> periods;
  for (double f : noise.Frequencies) periods.push_back(1 / f);

  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(TitleFont(*this));
  painter.drawText(QPointF(NoiseLeft, 19), Title);
  painter.setFont(font());
  painter.drawText(
      QPointF(NoiseLeft, 37),
      QStringLiteral("%1 noise window%2, ")
              .arg(noise.WindowCount)
              .arg(noise.WindowCount == 1 ? QString() : QStringLiteral("s")) +
          (noise.Acceleration ? QStringLiteral("ground acceleration (response removed)")
                              : QStringLiteral("in counts (no response)")));
  painter.setFont(font());
  if (noise.WindowCount == 0) {
    painter.drawText(frame.Area, Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("No noise window: the day holds no run of data a minute "
                                    "long or longer."));
    return;
  }

  // The density: a column per grid frequency reaching halfway to its neighbours, 1 dB bins.
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (const survey::TDensityCell& cell :
       survey::DensityCells(noise, frame.Range.LowDb, frame.Range.HighDb)) {
    const double x0 = frame.X(cell.ShortPeriod), x1 = frame.X(cell.LongPeriod);
    painter.fillRect(QRectF(std::min(x0, x1), frame.Y(cell.Db + 1), std::abs(x1 - x0) + 0.5,
                            frame.Y(cell.Db) - frame.Y(cell.Db + 1) + 0.5),
                     QColor(FromStd(survey::RampColour(cell.Share))));
  }

  // Grid and axes.
  const QFontMetrics metrics(font());
  for (double e = std::ceil(std::log10(frame.Range.LowPeriod) - 1e-9);
       e <= std::log10(frame.Range.HighPeriod) + 1e-9; e += 1) {
    const double x = frame.X(std::pow(10.0, e));
    painter.setPen(GridColour);
    painter.drawLine(QPointF(x, frame.Area.top()), QPointF(x, frame.Area.bottom()));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(x - 30, frame.Area.bottom() + 4, 60, 16),
                     Qt::AlignHCenter | Qt::AlignTop, FromStd(survey::Shortest(std::pow(10.0, e))));
  }
  const double dbStep =
      frame.Area.height() / (frame.Range.HighDb - frame.Range.LowDb) * 10 < 16 ? 20 : 10;
  for (double db = std::ceil(frame.Range.LowDb / dbStep) * dbStep; db <= frame.Range.HighDb;
       db += dbStep) {
    const double y = frame.Y(db);
    painter.setPen(GridColour);
    painter.drawLine(QPointF(frame.Area.left(), y), QPointF(frame.Area.right(), y));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(0, y - 8, NoiseLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(db, 'f', 0));
  }
  painter.setPen(FrameColour);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame.Area);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(QRectF(frame.Area.left(), frame.Area.bottom() + 21, frame.Area.width(), 16),
                   Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("period (s)"));
  painter.save();
  painter.translate(14, frame.Area.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-frame.Area.height() / 2, -8, frame.Area.height(), 16), Qt::AlignCenter,
                   noise.Acceleration ? QStringLiteral("dB rel. 1 (m/s²)²/Hz")
                                      : QStringLiteral("dB rel. 1 count²/Hz"));
  painter.restore();

  // The curves over the density, clipped to the frame.
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setClipRect(frame.Area);
  const QPen modelPen(QColor(0x44, 0x44, 0x44), 2);
  const QPen percentilePen(QColor(0x55, 0x55, 0x55), 1.2, Qt::DashLine);
  const QPen medianPen(Qt::black, 1.6);
  const QPen meanPen(QColor(0x7b, 0x2c, 0xbf), 1.6);
  if (noise.Acceleration) {
    std::vector<double> modelPeriods, low, high;
    for (double e = std::log10(frame.Range.LowPeriod); e <= std::log10(frame.Range.HighPeriod);
         e += 0.01) {
      const double p = std::pow(10.0, e);
      modelPeriods.push_back(p);
      low.push_back(survey::LowNoiseModelDb(p));
      high.push_back(survey::HighNoiseModelDb(p));
    }
    PaintCurve(painter, frame, modelPeriods, low, modelPen);
    PaintCurve(painter, frame, modelPeriods, high, modelPen);
  }
  PaintCurve(painter, frame, periods, noise.P10Db, percentilePen);
  PaintCurve(painter, frame, periods, noise.P90Db, percentilePen);
  PaintCurve(painter, frame, periods, noise.P50Db, medianPen);
  PaintCurve(painter, frame, periods, noise.MeanDb, meanPen);
  painter.setClipping(false);

  std::vector<std::pair<QPen, QString>> keys = {{medianPen, QStringLiteral("median")},
                                                {meanPen, QStringLiteral("mean")},
                                                {percentilePen, QStringLiteral("10th, 90th %")}};
  if (noise.Acceleration) keys.push_back({modelPen, QStringLiteral("NLNM, NHNM")});
  PaintLegend(painter, QPointF(NoiseLeft, 56), keys);
}
