#include "ui/WaveformPreview.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QVector>
#include <algorithm>
#include <cmath>

#include "quality/CardReport.h"
#include "quality/EventDigest.h"
#include "quality/QualityReport.h"

namespace {

const QColor PlotBackground(255, 255, 255);
const QColor RowShade(245, 247, 250);
const QColor GridColour(222, 226, 232);
const QColor TraceColour(29, 79, 145);
const QColor SaturatedColour(208, 0, 0);
const QColor DeadColour(150, 150, 150);
const QColor GapColour(190, 190, 190);
const QColor NoteColour(90, 90, 90);

constexpr int Pad = 6;

QString UtcCaption(const TUtcTime& t) {
  QString text = QString::fromStdString(UtcText(t));
  text.replace(QLatin1Char('T'), QLatin1Char(' '));
  return text + QStringLiteral(" UTC");
}

// Seconds between the ticks of a time axis of `seconds` over `pixels`: a round step that
// leaves at least `spacing` pixels between the ticks.
double TickStep(double seconds, int pixels, int spacing) {
  static const double steps[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05,  0.1,   0.2,   0.5,
                                 1,     2,     5,     10,   15,   30,    60,    120,   300,
                                 600,   900,   1800,  3600, 7200, 14400, 21600, 43200, 86400};
  if (seconds <= 0 || pixels <= 0) return 0;
  for (double step : steps) {
    if (step * pixels / seconds >= spacing) return step;
  }
  return 0;
}

QString SecondsText(double value, double step) {
  if (step >= 1) return QString::number(static_cast<qint64>(std::llround(value)));
  const int decimals = step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3;
  return QString::number(value, 'f', decimals);
}

QFont SmallFont(const QFont& base) {
  QFont small = base;
  if (base.pointSizeF() > 0) {
    small.setPointSizeF(std::max(6.5, base.pointSizeF() * 0.85));
  } else if (base.pixelSize() > 0) {
    small.setPixelSize(std::max(8, base.pixelSize() * 85 / 100));
  }
  return small;
}

QFont BoldFont(const QFont& base) {
  QFont bold = base;
  bold.setBold(true);
  return bold;
}

}  // namespace

TPreviewEvent PreviewOfDigest(const TEventDigest& digest, int line, const QString& file,
                              const TUtcTime& start, int sampleRate, int64_t stationSerial,
                              int64_t framesRead, const seed::TCodeOptions* codes) {
  const seed::TCodeOptions defaults;
  TPreviewEvent event;
  event.Line = line;
  event.File = file;
  event.Start = start;
  event.SampleRate = sampleRate;
  event.FramesRead = framesRead;
  int saturated = 0;
  int dead = 0;
  for (TReportChannel& channel :
       ChannelsOfDigest(digest, codes ? *codes : defaults, stationSerial, sampleRate)) {
    TPreviewTrace trace;
    trace.Label = QString::fromStdString(ChannelLabel(channel.Number));
    trace.SeedId = QString::fromStdString(channel.Id);
    trace.Figures = channel.Figures;
    trace.Envelope = std::move(channel.Envelope);
    event.SamplesPerChannel = trace.Envelope.TotalSamples();
    if (trace.Figures.Saturated > 0) ++saturated;
    if (trace.Figures.Dead) ++dead;
    event.Traces.push_back(std::move(trace));
  }
  if (sampleRate <= 0) event.Flags << QStringLiteral("no sample rate");
  if (digest.Channels() == 0) event.Flags << QStringLiteral("no channels");
  if (framesRead < event.SamplesPerChannel && event.SamplesPerChannel > 0) {
    const double share = 100.0 * static_cast<double>(event.SamplesPerChannel - framesRead) /
                         static_cast<double>(event.SamplesPerChannel);
    event.Flags << QStringLiteral("cut short: %1 % not read").arg(share, 0, 'f', 1);
  }
  if (saturated > 0) event.Flags << QStringLiteral("%1 saturated").arg(saturated);
  if (dead > 0) event.Flags << QStringLiteral("%1 dead").arg(dead);
  return event;
}

TWaveformPreview::TWaveformPreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("WaveformPreview"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setToolTip(QStringLiteral("Traces of the event line clicked last"));
}

void TWaveformPreview::SetEvent(std::shared_ptr<const TPreviewEvent> event) {
  Shown = std::move(event);
  Text.clear();
  Columns.clear();
  ColumnsWidth = 0;
  update();
}

void TWaveformPreview::ShowMessage(const QString& text) {
  Shown.reset();
  Text = text;
  Columns.clear();
  ColumnsWidth = 0;
  update();
}

int TWaveformPreview::TraceCount() const {
  return Shown ? static_cast<int>(Shown->Traces.size()) : 0;
}

QStringList TWaveformPreview::Labels() const {
  QStringList labels;
  if (Shown) {
    for (const TPreviewTrace& trace : Shown->Traces) labels << trace.Label;
  }
  return labels;
}

QStringList TWaveformPreview::SeedIds() const {
  QStringList ids;
  if (Shown) {
    for (const TPreviewTrace& trace : Shown->Traces) ids << trace.SeedId;
  }
  return ids;
}

int TWaveformPreview::GapColumn() const {
  if (!Shown || Shown->Traces.empty() || ColumnsWidth <= 0) return ColumnsWidth;
  const TEnvelope& envelope = Shown->Traces.front().Envelope;
  const int buckets = envelope.BucketCount();
  if (Shown->FramesRead >= envelope.TotalSamples() || buckets == 0) return ColumnsWidth;
  // The first bucket that holds no sample read, then the first column made of such buckets.
  int low = 0;
  int high = buckets;
  while (low < high) {
    const int mid = (low + high) / 2;
    if (envelope.FirstSampleOf(mid) >= Shown->FramesRead) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  const int64_t column = (int64_t{low} * ColumnsWidth + buckets - 1) / buckets;
  return static_cast<int>(std::min<int64_t>(column, ColumnsWidth));
}

QSize TWaveformPreview::sizeHint() const {
  return {560, 600};
}

QSize TWaveformPreview::minimumSizeHint() const {
  return {LabelWidth() + FigureWidth() + 120, 160};
}

int TWaveformPreview::LabelWidth() const {
  const QFontMetrics bold(BoldFont(font()));
  const QFontMetrics small(SmallFont(font()));
  return Pad + bold.horizontalAdvance(QStringLiteral("18 E")) + Pad +
         small.horizontalAdvance(QStringLiteral("XX.00000.05.GHE")) + Pad;
}

int TWaveformPreview::FigureWidth() const {
  const QFontMetrics small(SmallFont(font()));
  return Pad + small.horizontalAdvance(QStringLiteral("peak 8388608")) + 4 + Pad;
}

QRect TWaveformPreview::PlotRect() const {
  const QFontMetrics metrics(font());
  const int header = 2 * metrics.height() + 2 * Pad;
  const int axis = metrics.height() + 2 * Pad + 4;
  return QRect(QPoint(LabelWidth(), header),
               QPoint(width() - FigureWidth() - 1, height() - axis - 1));
}

void TWaveformPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  const QRect plot = PlotRect();
  if (!Shown) {
    painter.setPen(NoteColour);
    painter.drawText(rect().adjusted(Pad, Pad, -Pad, -Pad), Qt::AlignCenter | Qt::TextWordWrap,
                     Text);
    return;
  }
  PaintHeader(painter, plot);
  const size_t traces = Shown->Traces.size();
  if (traces == 0 || plot.width() < 2 || plot.height() < static_cast<int>(traces)) return;

  if (ColumnsWidth != plot.width() || Columns.size() != traces) {
    Columns.clear();
    for (const TPreviewTrace& trace : Shown->Traces) {
      Columns.push_back(trace.Envelope.Columns(plot.width()));
    }
    ColumnsWidth = plot.width();
  }

  painter.fillRect(plot, PlotBackground);
  PaintTimeAxis(painter, plot);
  const int gap = GapColumn();
  for (size_t i = 0; i < traces; ++i) {
    const int top = plot.top() + static_cast<int>(static_cast<int64_t>(i) * plot.height() /
                                                  static_cast<int64_t>(traces));
    const int bottom = plot.top() + static_cast<int>(static_cast<int64_t>(i + 1) * plot.height() /
                                                     static_cast<int64_t>(traces));
    const QRect row(plot.left(), top, plot.width(), std::max(1, bottom - top));
    if (i % 2 == 1) painter.fillRect(row.adjusted(0, 0, 0, 0), RowShade);
    if (gap < ColumnsWidth) {
      const QRect missing(plot.left() + gap, row.top(), plot.width() - gap, row.height());
      painter.fillRect(missing, QBrush(GapColour, Qt::BDiagPattern));
    }
    PaintTrace(painter, i, row);
  }
  painter.setPen(GridColour);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(plot.adjusted(0, 0, -1, -1));
}

void TWaveformPreview::PaintHeader(QPainter& painter, const QRect& plot) const {
  const QFontMetrics metrics(font());
  const int left = Pad;
  const int right = width() - Pad;
  int y = Pad;
  QStringList facts;
  facts << UtcCaption(Shown->Start);
  if (Shown->SampleRate > 0) facts << QStringLiteral("%1 Hz").arg(Shown->SampleRate);
  facts << QStringLiteral("%1 channels").arg(Shown->Traces.size());
  if (Shown->SampleRate > 0 && Shown->SamplesPerChannel > 0) {
    const double seconds =
        static_cast<double>(Shown->SamplesPerChannel) / static_cast<double>(Shown->SampleRate);
    facts << (seconds >= 120 ? QStringLiteral("%1 min").arg(seconds / 60, 0, 'g', 4)
                             : QStringLiteral("%1 s").arg(seconds, 0, 'g', 4));
  }
  painter.setFont(BoldFont(font()));
  painter.setPen(palette().color(QPalette::WindowText));
  const QString title = Shown->File;
  painter.drawText(QRect(left, y, right - left, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   title);
  const int titleWidth = QFontMetrics(painter.font()).horizontalAdvance(title);
  painter.setFont(font());
  painter.setPen(NoteColour);
  const QRect factsRect(left + titleWidth + 2 * Pad, y, right - left - titleWidth - 2 * Pad,
                        metrics.height());
  painter.drawText(factsRect, Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(facts.join(QStringLiteral("  \u00b7  ")), Qt::ElideRight,
                                      factsRect.width()));
  y += metrics.height() + Pad / 2;
  if (!Shown->Flags.isEmpty()) {
    painter.setPen(SaturatedColour);
    painter.drawText(
        QRect(left, y, right - left, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
        metrics.elidedText(Shown->Flags.join(QStringLiteral("; ")), Qt::ElideRight, right - left));
  }
  if (Shown->Traces.empty() || Shown->SamplesPerChannel == 0) {
    painter.setPen(NoteColour);
    painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No samples to show"));
  }
}

void TWaveformPreview::PaintTimeAxis(QPainter& painter, const QRect& plot) const {
  const QFontMetrics metrics(SmallFont(font()));
  painter.setFont(SmallFont(font()));
  const int axisY = plot.bottom() + 1;
  painter.setPen(NoteColour);
  painter.drawText(QRect(Pad, axisY + 4, plot.left() - 2 * Pad, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("s after start"));
  if (Shown->SampleRate <= 0 || Shown->SamplesPerChannel <= 0) return;
  const double seconds =
      static_cast<double>(Shown->SamplesPerChannel) / static_cast<double>(Shown->SampleRate);
  const double step =
      TickStep(seconds, plot.width(), metrics.horizontalAdvance(QStringLiteral("00000")) + 24);
  if (step <= 0) return;
  QVector<QLine> grid;
  for (int k = 0;; ++k) {
    const double at = k * step;
    if (at > seconds + step * 1e-9) break;
    const int x = plot.left() + static_cast<int>(std::lround(at / seconds * (plot.width() - 1)));
    grid << QLine(x, plot.top(), x, plot.bottom());
    painter.setPen(NoteColour);
    painter.drawLine(x, axisY, x, axisY + 3);
    const QString label = SecondsText(at, step);
    const int w = metrics.horizontalAdvance(label);
    const int labelX = std::clamp(x - w / 2, plot.left(), plot.right() - w + 1);
    painter.drawText(QRect(labelX, axisY + 4, w, metrics.height()), Qt::AlignCenter, label);
  }
  painter.setPen(GridColour);
  painter.drawLines(grid);
  painter.setFont(font());
}

void TWaveformPreview::PaintTrace(QPainter& painter, size_t index, const QRect& row) const {
  const TPreviewTrace& trace = Shown->Traces[index];
  const std::vector<TEnvelopeBucket>& columns = Columns[index];
  const TChannelFigures& figures = trace.Figures;
  const int64_t peak = std::max<int64_t>(figures.Peak(), 1);
  const double middle = row.top() + (row.height() - 1) / 2.0;
  const double half = std::max(1.0, (row.height() - 3) / 2.0);
  auto yOf = [&](int32_t value) {
    return static_cast<int>(
        std::lround(middle - static_cast<double>(value) * half / static_cast<double>(peak)));
  };

  // The zero line, then the trace column by column from its minimum to its maximum.
  painter.setPen(GridColour);
  const int zero = yOf(0);
  painter.drawLine(row.left(), zero, row.right(), zero);
  QVector<QLine> normal;
  QVector<QLine> saturated;
  QVector<QLine> marks;
  const int gap = GapColumn();
  for (int c = 0; c < static_cast<int>(columns.size()) && c < gap; ++c) {
    const TEnvelopeBucket& bucket = columns[static_cast<size_t>(c)];
    if (bucket.Empty()) continue;
    const int x = row.left() + c;
    const QLine line(x, yOf(bucket.Max), x, yOf(bucket.Min));
    if (bucket.Saturated()) {
      saturated << line;
      if (bucket.Max == SampleMaximum) marks << QLine(x, row.top(), x, row.top() + 3);
      if (bucket.Min == SampleMinimum) marks << QLine(x, row.bottom() - 3, x, row.bottom());
    } else {
      normal << line;
    }
  }
  painter.setPen(QPen(figures.Dead ? DeadColour : TraceColour, 1));
  painter.drawLines(normal);
  painter.setPen(QPen(SaturatedColour, 1));
  painter.drawLines(saturated);
  painter.setPen(QPen(SaturatedColour, 2));
  painter.drawLines(marks);

  // The label at the left: "1 Z" and the SEED code.
  const QFont bold = BoldFont(font());
  const QFont small = SmallFont(font());
  const QFontMetrics boldMetrics(bold);
  const QFontMetrics smallMetrics(small);
  const int labelLeft = Pad;
  const int labelTop = row.top();
  const int labelHeight = row.height();
  painter.setFont(bold);
  painter.setPen(figures.Saturated > 0 ? SaturatedColour : palette().color(QPalette::WindowText));
  const int labelWidth = boldMetrics.horizontalAdvance(QStringLiteral("18 E"));
  painter.drawText(QRect(labelLeft, labelTop, labelWidth, labelHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, trace.Label);
  painter.setFont(small);
  painter.setPen(NoteColour);
  painter.drawText(QRect(labelLeft + labelWidth + Pad, labelTop,
                         row.left() - labelLeft - labelWidth - 2 * Pad, labelHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, trace.SeedId);

  // The figures at the right: peak and RMS (the peak in red when saturated), or "dead"; the
  // count of saturated samples under them when the row has room.
  const QRect figureRect(row.right() + 1 + Pad, row.top(), FigureWidth() - 2 * Pad, row.height());
  struct TLine {
    QString Text;
    QColor Colour;
  };
  std::vector<TLine> lines;
  const QColor red = SaturatedColour;
  if (figures.Dead) {
    lines.push_back({QStringLiteral("dead"), figures.Saturated > 0 ? red : DeadColour});
  } else {
    lines.push_back(
        {QStringLiteral("peak %1").arg(figures.Peak()), figures.Saturated > 0 ? red : NoteColour});
    lines.push_back(
        {QStringLiteral("rms %1").arg(figures.Rms, 0, 'f', figures.Rms < 100 ? 1 : 0), NoteColour});
  }
  if (figures.Saturated > 0)
    lines.push_back({QStringLiteral("%1 sat.").arg(figures.Saturated), red});
  const size_t room = static_cast<size_t>(std::max(1, row.height() / smallMetrics.height()));
  if (lines.size() > room) lines.resize(room);
  const int textHeight = static_cast<int>(lines.size()) * smallMetrics.height();
  int y = row.top() + (row.height() - textHeight) / 2;
  for (const TLine& line : lines) {
    painter.setPen(line.Colour);
    painter.drawText(QRect(figureRect.left(), y, figureRect.width(), smallMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     smallMetrics.elidedText(line.Text, Qt::ElideRight, figureRect.width()));
    y += smallMetrics.height();
  }
  painter.setFont(font());
}
