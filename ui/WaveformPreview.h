#pragma once
// The waveform preview of one event: its channels stacked on a shared time axis (seconds after
// the event's UTC start), each trace labelled with its channel and SEED code, scaled to its own
// peak, with the peak and RMS beside it, saturated samples marked in red, dead channels in grey
// and the part of the event that could not be read off the card left as a hatched gap.
//
// The traces are drawn from the channels' envelopes: a resize reduces them again to the new
// width, the card is never read for a redraw.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "quality/ChannelFigures.h"
#include "quality/Envelope.h"
#include "quality/JsonViews.h"

class TEventDigest;
namespace seed {
struct TCodeOptions;
}

struct TPreviewTrace {
  QString Label;   // "1 Z"
  QString SeedId;  // "XX.047.00.EHZ"
  TChannelFigures Figures;
  TEnvelope Envelope;
};

struct TPreviewEvent {
  int Line = 0;  // 1-based line of the event list
  QString File;  // original file name
  TUtcTime Start;
  int SampleRate = 0;
  int64_t SamplesPerChannel = 0;
  int64_t FramesRead = 0;  // frames read off the card; the rest is drawn as a gap
  std::vector<TPreviewTrace> Traces;
  QStringList Flags;  // what is wrong with the event, shown in red above the traces
};

// The preview of an event from its digest: one trace per channel, labelled "1 Z" and with the
// SEED code `codes` give the station's serial at the event's rate (the default codes when
// `codes` is null); flags for an event cut short, saturated and dead channels.
TPreviewEvent PreviewOfDigest(const TEventDigest& digest, int line, const QString& file,
                              const TUtcTime& start, int sampleRate, int64_t stationSerial,
                              int64_t framesRead, const seed::TCodeOptions* codes = nullptr);

class TWaveformPreview : public QWidget {
  Q_OBJECT

 public:
  explicit TWaveformPreview(QWidget* parent = nullptr);

  // Shows an event's traces.
  void SetEvent(std::shared_ptr<const TPreviewEvent> event);
  // Shows a text instead of traces ("Reading ...", a card error, nothing selected).
  void ShowMessage(const QString& text);

  // What is shown, for the window and for tests.
  const TPreviewEvent* Event() const { return Shown.get(); }
  const QString& Message() const { return Text; }
  int TraceCount() const;
  QStringList Labels() const;   // "1 Z", "2 N", ...
  QStringList SeedIds() const;  // one per trace
  // The envelope columns of each trace as last painted, and the plot width they were reduced
  // to (0 before the first paint of an event).
  const std::vector<std::vector<TEnvelopeBucket>>& ColumnsDrawn() const { return Columns; }
  int ColumnWidth() const { return ColumnsWidth; }
  // The column from which the event was not read off the card (ColumnWidth() when all was).
  int GapColumn() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect PlotRect() const;
  int LabelWidth() const;
  int FigureWidth() const;
  void PaintHeader(class QPainter& painter, const QRect& plot) const;
  void PaintTimeAxis(class QPainter& painter, const QRect& plot) const;
  void PaintTrace(class QPainter& painter, size_t index, const QRect& row) const;

  std::shared_ptr<const TPreviewEvent> Shown;
  QString Text;
  std::vector<std::vector<TEnvelopeBucket>> Columns;
  int ColumnsWidth = 0;
};
