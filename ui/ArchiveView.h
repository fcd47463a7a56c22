#pragma once
// The archive window: what an SDS archive holds, channel by channel across its days; a click
// on a channel-day shows its day plot and the noise of its data (in ground acceleration
// against the noise models when an inventory gives the channel's response, in counts
// otherwise). The survey (survey/) does all reading and computing, on threads of the window's
// own: the window stays responsive on a large archive, and a new request cancels the one
// still running, whose result is never shown. What cannot be read is listed in the window
// with the file's name.

#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "survey/ArchiveIndex.h"
#include "survey/ArchiveSurvey.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class TAvailabilityChart;
class TDayPlotView;
class TNoisePlot;

// Runs work off the window's thread. Starting a job cancels the one before (the survey sees
// the flag at its next step); all are cancelled and waited for when the runner goes.
class TArchiveJobs {
 public:
  class TFlag : public survey::TSurveyProgress {
   public:
    void Step(std::string_view, int64_t, int64_t, std::string_view) override {}
    bool Cancelled() const override { return Stop.load(); }
    std::atomic<bool> Stop{false};
  };
  using TWork = std::function<void(TFlag& flag)>;

  TArchiveJobs() = default;
  TArchiveJobs(const TArchiveJobs&) = delete;
  TArchiveJobs& operator=(const TArchiveJobs&) = delete;
  ~TArchiveJobs() { StopAll(); }

  void Start(TWork work);
  void CancelLast();
  void StopAll();

 private:
  struct TJob {
    std::shared_ptr<TFlag> Flag;
    std::shared_ptr<std::atomic<bool>> Done;
    std::thread Thread;
  };
  void JoinFinished();
  std::vector<TJob> Jobs;
};

class TArchiveView : public QWidget {
  Q_OBJECT

 public:
  // `viewSettingsPath`: the file that keeps the archive directory last opened ("": none).
  explicit TArchiveView(std::string viewSettingsPath, QWidget* parent = nullptr);
  ~TArchiveView() override;

  // Asks for the archive's directory, starting at the one opened last or else at `fallback`,
  // and opens it; nothing changes when the user cancels.
  void ChooseArchive(const QString& fallback);
  // Reads the archive's records' headers and shows its availability.
  void OpenArchive(const QString& root);
  // Asks for a StationXML inventory; its responses turn the noise into ground acceleration.
  void ChooseInventory();
  void SetInventory(const QString& path);
  // Shows the day plot and the noise of a channel (index into the chart's channels) and day.
  void ShowChannelDay(int channel, int64_t day);

  QLabel* LabelArchive;
  QPushButton* ButtonOpen;
  QLabel* LabelInventory;
  QPushButton* ButtonInventory;
  QLabel* LabelStatus;
  QScrollArea* ChartArea;
  TAvailabilityChart* Chart;
  TDayPlotView* DayPlot;
  TNoisePlot* NoisePlot;
  QPlainTextEdit* Problems;

  // Ask for a directory (from the one given) or an inventory file; "" when the user cancels.
  // Tests replace them.
  std::function<QString(const QString& start)> AskDirectory;
  std::function<QString()> AskInventory;
  // Called on the working thread as each job begins, before its first step; tests hold a job
  // there to cancel it at a known point.
  std::function<void()> JobStarting;

  const QString& Root() const { return ArchiveRoot; }
  const QString& Inventory() const { return InventoryPath; }
  // Jobs that ended cancelled, and channel-days whose results were shown.
  int CancelledJobs() const { return Cancelled; }
  int ChannelDaysShown() const { return Shown; }

 private:
  // Runs `work` off this thread; `show` then runs on this thread with its result unless a
  // later request came first. Errors are shown as text.
  template <class TResult>
  void Run(std::function<TResult(TArchiveJobs::TFlag&)> work, std::function<void(TResult&)> show);
  void ShowError(const QString& text);
  void ListProblems();
  void SaveDirectory() const;
  QString LastDirectory() const;

  std::string ViewSettingsPath;
  QString ArchiveRoot;
  QString InventoryPath;
  std::shared_ptr<const survey::TArchiveIndex> Index;
  std::vector<survey::TArchiveProblem> IndexProblems;
  std::vector<survey::TArchiveProblem> DayProblems;
  std::vector<std::string> InventoryProblems;
  int64_t Request = 0;  // the latest request; results of earlier ones are dropped
  int Cancelled = 0;
  int Shown = 0;
  int ShownChannel = -1;
  int64_t ShownDay = 0;
  TArchiveJobs Jobs;  // last: its threads are stopped before the rest goes
};
