#pragma once
// The archive window's three drawings, painted from what the survey computed (never from the
// archive itself, so a repaint costs no reading):
// - the availability chart: one bar per channel across the campaign's days, data green and
//   holes red; a click on a channel-day asks for its day plot;
// - the day plot of a channel-day: the survey's helicorder columns, every line at one scale;
// - the noise of a channel-day: the density of its spectra by period, the percentiles and the
//   mean, and the low and high noise models when the density is in ground acceleration.
// Each shows a text in place of its drawing while there is nothing to draw.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "survey/Availability.h"
#include "survey/Helicorder.h"
#include "survey/NoiseSummary.h"

class TAvailabilityChart : public QWidget {
  Q_OBJECT

 public:
  explicit TAvailabilityChart(QWidget* parent = nullptr);

  void SetChannels(std::vector<survey::TChannelAvailability> channels,
                   const survey::TCampaignDays& days);
  void ShowMessage(const QString& text);
  // Outlines the channel-day shown below the chart (channel -1: none).
  void Select(int channel, int64_t day);

  const std::vector<survey::TChannelAvailability>& Channels() const { return Shown; }
  const survey::TCampaignDays& Days() const { return CampaignDays; }
  const QString& Message() const { return Text; }
  // Where the channel-day lies in the widget (empty when it is not drawn).
  QRect CellRect(int channel, int64_t day) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void ChannelDayClicked(int channel, qint64 day);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct TCell {
    int Channel = -1;
    int64_t Day = 0;
  };
  std::optional<TCell> CellAt(QPoint point) const;
  int LabelWidth() const;
  int RowTop(int channel) const;
  double DayWidth() const;

  std::vector<survey::TChannelAvailability> Shown;
  survey::TCampaignDays CampaignDays;
  QString Text;
  TCell Selected;
};

class TDayPlotView : public QWidget {
  Q_OBJECT

 public:
  explicit TDayPlotView(QWidget* parent = nullptr);

  void SetPlot(survey::THelicorder plot);
  void ShowMessage(const QString& text);

  // The plot shown (null while a text is shown instead).
  const survey::THelicorder* Plot() const { return HasPlot ? &Shown : nullptr; }
  const QString& Message() const { return Text; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  survey::THelicorder Shown;
  bool HasPlot = false;
  QString Text;
};

class TNoisePlot : public QWidget {
  Q_OBJECT

 public:
  explicit TNoisePlot(QWidget* parent = nullptr);

  // The noise of `title`'s data ("XX.047.00.EHZ 2026-06-14").
  void SetNoise(const QString& title, survey::TNoiseSummary noise);
  void ShowMessage(const QString& text);

  // The noise shown (null while a text is shown instead).
  const survey::TNoiseSummary* Noise() const { return HasNoise ? &Shown : nullptr; }
  const QString& Message() const { return Text; }
  // Whether the noise models are drawn (ground acceleration only).
  bool ModelsDrawn() const { return HasNoise && Shown.Acceleration; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  survey::TNoiseSummary Shown;
  bool HasNoise = false;
  QString Title;
  QString Text;
};
