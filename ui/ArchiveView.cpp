#include "ui/ArchiveView.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <utility>

#include "survey/Availability.h"
#include "survey/StationResponse.h"
#include "survey/SurveyTime.h"
#include "ui/ArchiveCharts.h"

namespace {

constexpr const char* DirectoryKey = "Archive/Directory";
// Beyond this height the availability chart scrolls, leaving the plots their room.
constexpr int MostChartHeight = 360;

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

// What an opened archive holds, read off the window's thread.
struct TOpened {
  std::shared_ptr<const survey::TArchiveIndex> Index;
  std::vector<survey::TChannelAvailability> Channels;
  survey::TCampaignDays Days;
};

struct TDayResult {
  survey::TChannelDayView View;
  std::vector<std::string> InventoryProblems;
};

}  // namespace

// ---- Jobs ----

void TArchiveJobs::Start(TWork work) {
  JoinFinished();
  CancelLast();
  TJob job;
  job.Flag = std::make_shared<TFlag>();
  job.Done = std::make_shared<std::atomic<bool>>(false);
  job.Thread = std::thread([work = std::move(work), flag = job.Flag, done = job.Done] {
    work(*flag);
    done->store(true);
  });
  Jobs.push_back(std::move(job));
}

void TArchiveJobs::CancelLast() {
  if (!Jobs.empty()) Jobs.back().Flag->Stop.store(true);
}

void TArchiveJobs::StopAll() {
  for (TJob& job : Jobs) job.Flag->Stop.store(true);
  for (TJob& job : Jobs) {
    if (job.Thread.joinable()) job.Thread.join();
  }
  Jobs.clear();
}

void TArchiveJobs::JoinFinished() {
  for (auto job = Jobs.begin(); job != Jobs.end();) {
    if (job->Done->load()) {
      job->Thread.join();
      job = Jobs.erase(job);
    } else {
      ++job;
    }
  }
}

// ---- The window ----

TArchiveView::TArchiveView(std::string viewSettingsPath, QWidget* parent)
    : QWidget(parent, Qt::Window), ViewSettingsPath(std::move(viewSettingsPath)) {
  setWindowTitle(QStringLiteral("ReadTarq - Archive"));
  LabelArchive = new QLabel(QStringLiteral("No archive opened"));
  LabelArchive->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ButtonOpen = new QPushButton(QStringLiteral("&Open archive..."));
  ButtonOpen->setToolTip(QStringLiteral("Choose the directory of an SDS archive"));
  LabelInventory = new QLabel(QStringLiteral("Inventory: none (noise in counts)"));
  ButtonInventory = new QPushButton(QStringLiteral("&Inventory..."));
  ButtonInventory->setToolTip(
      QStringLiteral("Choose a StationXML file: its responses give the noise in ground "
                     "acceleration, against the noise models"));
  LabelStatus = new QLabel;
  LabelStatus->setWordWrap(true);
  Chart = new TAvailabilityChart;
  Chart->ShowMessage(QStringLiteral("Open an SDS archive to see what it holds."));
  DayPlot = new TDayPlotView;
  DayPlot->ShowMessage(QStringLiteral("Click a channel-day in the chart to see its day plot."));
  NoisePlot = new TNoisePlot;
  NoisePlot->ShowMessage(QStringLiteral("Click a channel-day in the chart to see its noise."));
  Problems = new QPlainTextEdit;
  Problems->setReadOnly(true);
  Problems->setMaximumHeight(fontMetrics().lineSpacing() * 6 + 12);
  Problems->setVisible(false);

  QFont bold = LabelArchive->font();
  bold.setBold(true);
  LabelArchive->setFont(bold);

  auto* top = new QHBoxLayout;
  top->addWidget(LabelArchive, 1);
  top->addWidget(ButtonOpen);
  top->addSpacing(20);
  top->addWidget(LabelInventory);
  top->addWidget(ButtonInventory);

  ChartArea = new QScrollArea;
  ChartArea->setWidget(Chart);
  ChartArea->setWidgetResizable(true);
  ChartArea->setFrameShape(QFrame::StyledPanel);
  ChartArea->setMinimumHeight(Chart->sizeHint().height() + 4);
  ChartArea->setMaximumHeight(MostChartHeight);
  ChartArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);

  auto* plots = new QSplitter(Qt::Horizontal);
  plots->addWidget(DayPlot);
  plots->addWidget(NoisePlot);
  plots->setStretchFactor(0, 1);
  plots->setStretchFactor(1, 1);
  plots->setSizes({700, 560});
  plots->setChildrenCollapsible(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(8);
  layout->addLayout(top);
  layout->addWidget(LabelStatus);
  layout->addWidget(ChartArea);
  layout->addWidget(plots, 1);
  layout->addWidget(Problems);

  const std::pair<QWidget*, const char*> named[] = {
      {LabelArchive, "LabelArchive"},
      {ButtonOpen, "ButtonOpen"},
      {LabelInventory, "LabelInventory"},
      {ButtonInventory, "ButtonInventory"},
      {LabelStatus, "LabelStatus"},
      {Chart, "Chart"},
      {DayPlot, "DayPlot"},
      {NoisePlot, "NoisePlot"},
      {Problems, "Problems"},
  };
  for (const auto& [widget, name] : named) widget->setObjectName(QString::fromLatin1(name));
  setObjectName(QStringLiteral("ArchiveView"));

  AskDirectory = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("SDS archive"), start);
  };
  AskInventory = [this] {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Inventory"),
        InventoryPath.isEmpty() ? ArchiveRoot : QFileInfo(InventoryPath).absolutePath(),
        QStringLiteral("StationXML (*.xml);;All files (*)"));
  };
  connect(ButtonOpen, &QPushButton::clicked, this, [this] { ChooseArchive(ArchiveRoot); });
  connect(ButtonInventory, &QPushButton::clicked, this, &TArchiveView::ChooseInventory);
  connect(Chart, &TAvailabilityChart::ChannelDayClicked, this,
          [this](int channel, qint64 day) { ShowChannelDay(channel, day); });
  resize(1280, 860);
}

TArchiveView::~TArchiveView() {
  Jobs.StopAll();
}

QString TArchiveView::LastDirectory() const {
  if (ViewSettingsPath.empty()) return {};
  const QSettings view(FromStd(ViewSettingsPath), QSettings::IniFormat);
  return view.value(QString::fromLatin1(DirectoryKey)).toString();
}

void TArchiveView::SaveDirectory() const {
  if (ViewSettingsPath.empty()) return;
  QSettings view(FromStd(ViewSettingsPath), QSettings::IniFormat);
  view.setValue(QString::fromLatin1(DirectoryKey), ArchiveRoot);
}

void TArchiveView::ChooseArchive(const QString& fallback) {
  QString start = ArchiveRoot;
  if (start.isEmpty()) start = LastDirectory();
  if (start.isEmpty() || !QFileInfo(start).isDir()) start = fallback;
  const QString chosen = AskDirectory(start);
  if (chosen.isEmpty()) return;
  OpenArchive(chosen);
  show();
  raise();
  activateWindow();
}

template <class TResult>
void TArchiveView::Run(std::function<TResult(TArchiveJobs::TFlag&)> work,
                       std::function<void(TResult&)> show) {
  const int64_t request = ++Request;
  std::function<void()> starting = JobStarting;
  Jobs.Start([this, request, work = std::move(work), show = std::move(show),
              starting](TArchiveJobs::TFlag& flag) {
    // What the job ends with, handed to the window's thread; dropped there when a later
    // request came first. The window waits for its jobs before it goes, so `this` outlives
    // the job, and a call still queued when it goes is discarded with it.
    std::function<void()> deliver;
    try {
      if (starting) starting();
      auto result = std::make_shared<TResult>(work(flag));
      deliver = [this, request, result, show] {
        if (request == Request) show(*result);
      };
    } catch (const survey::ESurveyCancelled&) {
      deliver = [this] { ++Cancelled; };
    } catch (const std::exception& error) {
      const QString text = QString::fromUtf8(error.what());
      deliver = [this, request, text] {
        if (request == Request) ShowError(text);
      };
    }
    QMetaObject::invokeMethod(this, deliver, Qt::QueuedConnection);
  });
}

void TArchiveView::OpenArchive(const QString& root) {
  ArchiveRoot = QDir::cleanPath(root);
  SaveDirectory();
  LabelArchive->setText(QStringLiteral("Archive: ") + QDir::toNativeSeparators(ArchiveRoot));
  LabelStatus->setText(QStringLiteral("Reading the records' headers..."));
  Index.reset();
  IndexProblems.clear();
  DayProblems.clear();
  InventoryProblems.clear();
  ListProblems();
  ShownChannel = -1;
  Chart->ShowMessage(QStringLiteral("Reading ") + QDir::toNativeSeparators(ArchiveRoot) +
                     QStringLiteral(" ..."));
  DayPlot->ShowMessage(QStringLiteral("Click a channel-day in the chart to see its day plot."));
  NoisePlot->ShowMessage(QStringLiteral("Click a channel-day in the chart to see its noise."));
  const std::string path = ArchiveRoot.toStdString();
  Run<TOpened>(
      [path](TArchiveJobs::TFlag& flag) {
        auto index = std::make_shared<survey::TArchiveIndex>(survey::IndexArchive(path, &flag));
        TOpened opened;
        opened.Days = survey::CampaignDays(*index);
        opened.Channels = survey::ArchiveAvailability(*index);
        opened.Index = std::move(index);
        return opened;
      },
      [this](TOpened& opened) {
        Index = opened.Index;
        IndexProblems = Index->Problems;
        const survey::TCampaignDays days = opened.Days;
        const size_t channels = opened.Channels.size();
        if (channels == 0) {
          Chart->ShowMessage(QStringLiteral("No miniSEED records found in this directory."));
          LabelStatus->setText(
              QStringLiteral("%1 day files read; no channel with data.").arg(Index->Files.size()));
        } else {
          Chart->SetChannels(std::move(opened.Channels), days);
          LabelStatus->setText(
              QStringLiteral("%1 channel%2 over %3 day%4 (%5 to %6), %7 day files, %8 records. "
                             "Click a channel-day for its day plot and noise.")
                  .arg(channels)
                  .arg(channels == 1 ? QString() : QStringLiteral("s"))
                  .arg(days.Count())
                  .arg(days.Count() == 1 ? QString() : QStringLiteral("s"))
                  .arg(FromStd(survey::DayText(days.First)), FromStd(survey::DayText(days.Last)))
                  .arg(Index->Files.size())
                  .arg(Index->RecordCount));
        }
        // The chart's area grows with the channels, up to its largest height.
        ChartArea->setMinimumHeight(std::min(Chart->sizeHint().height() + 4, MostChartHeight));
        ListProblems();
      });
}

void TArchiveView::ChooseInventory() {
  const QString path = AskInventory();
  if (path.isEmpty()) return;
  SetInventory(path);
}

void TArchiveView::SetInventory(const QString& path) {
  InventoryPath = path;
  LabelInventory->setText(QStringLiteral("Inventory: ") + QFileInfo(path).fileName());
  LabelInventory->setToolTip(QDir::toNativeSeparators(path));
  // The channel-day shown is worked out again with the responses.
  if (Index && ShownChannel >= 0) ShowChannelDay(ShownChannel, ShownDay);
}

void TArchiveView::ShowChannelDay(int channel, int64_t day) {
  if (!Index || channel < 0 || channel >= static_cast<int>(Index->Channels.size())) return;
  ShownChannel = channel;
  ShownDay = day;
  Chart->Select(channel, day);
  const std::string id = Index->Channels[static_cast<size_t>(channel)].Id;
  const QString title = FromStd(id + " " + survey::DayText(day));
  DayPlot->ShowMessage(QStringLiteral("Reading ") + title + QStringLiteral(" ..."));
  NoisePlot->ShowMessage(QStringLiteral("Computing the noise of ") + title +
                         QStringLiteral(" ..."));
  LabelStatus->setText(title + QStringLiteral(": reading and computing..."));
  const std::string inventoryPath = InventoryPath.toStdString();
  Run<TDayResult>(
      [index = Index, channel, day, inventoryPath](TArchiveJobs::TFlag& flag) {
        TDayResult result;
        survey::TInventoryResponses inventory;
        if (!inventoryPath.empty()) {
          try {
            inventory = survey::ReadInventoryResponses(inventoryPath);
          } catch (const std::runtime_error& error) {
            // The day plot does without it; the noise stays in counts.
            result.InventoryProblems.push_back(error.what());
          }
          for (const std::string& problem : inventory.Problems) {
            result.InventoryProblems.push_back(problem);
          }
        }
        result.View =
            survey::SurveyChannelDay(*index, static_cast<size_t>(channel), day, inventory, &flag);
        return result;
      },
      [this, title](TDayResult& result) {
        ++Shown;
        DayPlot->SetPlot(std::move(result.View.Plot));
        NoisePlot->SetNoise(title, std::move(result.View.Noise));
        DayProblems = std::move(result.View.Problems);
        InventoryProblems = std::move(result.InventoryProblems);
        LabelStatus->setText(title +
                             QStringLiteral(": day plot and noise. Click another channel-day to "
                                            "see it."));
        ListProblems();
      });
}

void TArchiveView::ShowError(const QString& text) {
  LabelStatus->setText(text);
  if (!Index) {
    Chart->ShowMessage(text);
  } else {
    DayPlot->ShowMessage(text);
    NoisePlot->ShowMessage(text);
  }
}

void TArchiveView::ListProblems() {
  QStringList lines;
  for (const auto* list : {&IndexProblems, &DayProblems}) {
    for (const survey::TArchiveProblem& problem : *list) {
      lines << QDir::toNativeSeparators(FromStd(problem.File)) + QStringLiteral(": ") +
                   FromStd(problem.Text);
    }
  }
  for (const std::string& problem : InventoryProblems) {
    lines << QStringLiteral("Inventory: ") + FromStd(problem);
  }
  Problems->setPlainText(lines.isEmpty() ? QString()
                                         : QStringLiteral("Problems (%1):\n").arg(lines.size()) +
                                               lines.join(QLatin1Char('\n')));
  Problems->setVisible(!lines.isEmpty());
}
