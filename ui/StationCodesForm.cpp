#include "ui/StationCodesForm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TStationCodesForm::TStationCodesForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("StationCodesForm"));
  setWindowTitle(QStringLiteral("Station codes"));
  setModal(true);

  EditNetwork = new QLineEdit;
  EditNetwork->setMaxLength(2);
  EditNetwork->setPlaceholderText(QStringLiteral("XX"));
  EditNetwork->setToolTip(
      QStringLiteral("Network code of the records: 1 or 2 letters or digits (XX when empty); "
                     "the sheet's network beats it"));
  EditNetwork->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[A-Za-z0-9]{0,2}")), EditNetwork));
  EditNetwork->setFixedWidth(EditNetwork->fontMetrics().horizontalAdvance(QStringLiteral("MMMM")));
  EditSheet = new QLineEdit;
  EditSheet->setToolTip(QStringLiteral(
      "CSV file with a header line: serial, network, station, site, latitude, longitude, "
      "elevation, instrument, period (only serial required); empty: default codes"));
  EditSheet->setMinimumWidth(EditSheet->fontMetrics().horizontalAdvance(QString(40, 'x')));
  ButtonBrowseSheet = new QPushButton(QStringLiteral("&Browse..."));
  ButtonBrowseSheet->setAutoDefault(false);
  ComboRecordLength = new QComboBox;
  ComboRecordLength->addItem(QStringLiteral("4096 bytes"), 4096);
  ComboRecordLength->addItem(QStringLiteral("512 bytes"), 512);
  LabelMessage = new QLabel;
  LabelMessage->setWordWrap(true);
  ButtonExport = new QPushButton(QStringLiteral("Export &StationXML..."));
  ButtonExport->setToolTip(
      QStringLiteral("Write the StationXML of the selected events (all when none is selected)"));
  ButtonExport->setAutoDefault(false);
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
  ButtonCancel->setAutoDefault(false);
  ButtonOk = new QPushButton(QStringLiteral("OK"));
  ButtonOk->setDefault(true);

  auto* labelNetwork = new QLabel(QStringLiteral("&Network code:"));
  labelNetwork->setBuddy(EditNetwork);
  auto* labelSheet = new QLabel(QStringLiteral("Station s&heet:"));
  labelSheet->setBuddy(EditSheet);
  auto* labelLength = new QLabel(QStringLiteral("&Record length:"));
  labelLength->setBuddy(ComboRecordLength);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  grid->addWidget(labelNetwork, 0, 0);
  grid->addWidget(EditNetwork, 0, 1, Qt::AlignLeft);
  grid->addWidget(labelSheet, 1, 0);
  grid->addWidget(EditSheet, 1, 1);
  grid->addWidget(ButtonBrowseSheet, 1, 2);
  grid->addWidget(labelLength, 2, 0);
  grid->addWidget(ComboRecordLength, 2, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonExport);
  buttons->addStretch(1);
  buttons->addWidget(ButtonCancel);
  buttons->addSpacing(12);
  buttons->addWidget(ButtonOk);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 14);
  layout->addLayout(grid);
  layout->addWidget(LabelMessage);
  layout->addStretch(1);
  layout->addLayout(buttons);

  const std::pair<QWidget*, const char*> named[] = {
      {EditNetwork, "EditNetwork"},         {EditSheet, "EditSheet"},
      {ButtonBrowseSheet, "ButtonBrowseSheet"}, {ComboRecordLength, "ComboRecordLength"},
      {LabelMessage, "LabelMessage"},       {ButtonExport, "ButtonExport"},
      {ButtonCancel, "ButtonCancel"},       {ButtonOk, "ButtonOk"},
  };
  for (const auto& [widget, name] : named) widget->setObjectName(QString::fromLatin1(name));

  AskSheetPath = [this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Station sheet"), EditSheet->text(),
                                        QStringLiteral("Station sheets (*.csv);;All files (*)"));
  };
  AskExportPath = [this] {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Export StationXML"), QString(),
                                        QStringLiteral("StationXML (*.xml)"));
  };
  connect(ButtonBrowseSheet, &QPushButton::clicked, this,
          &TStationCodesForm::ButtonBrowseSheetClick);
  connect(ButtonExport, &QPushButton::clicked, this, &TStationCodesForm::ButtonExportClick);
  connect(ButtonOk, &QPushButton::clicked, this, &TStationCodesForm::ButtonOkClick);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TStationCodesForm::Load(const TSettings& settings) {
  EditNetwork->setText(QString::fromStdString(settings.Network));
  EditSheet->setText(QString::fromStdString(settings.StationSheet));
  ComboRecordLength->setCurrentIndex(settings.RecordLength == 512 ? 1 : 0);
  ShowMessage("", false);
}

void TStationCodesForm::Store(TSettings& settings) const {
  settings.Network = EditNetwork->text().toUpper().toStdString();
  settings.StationSheet = EditSheet->text().trimmed().toStdString();
  settings.RecordLength = ComboRecordLength->currentData().toInt();
}

TProductOptions TStationCodesForm::Options() const {
  TSettings settings;
  Store(settings);
  return ReadProductOptions(settings);
}

void TStationCodesForm::ShowMessage(const std::string& text, bool error) {
  LabelMessage->setText(QString::fromStdString(text));
  QPalette palette = LabelMessage->palette();
  palette.setColor(QPalette::WindowText,
                   error ? QColor(176, 0, 0) : this->palette().color(QPalette::WindowText));
  LabelMessage->setPalette(palette);
}

void TStationCodesForm::ButtonBrowseSheetClick() {
  const QString path = AskSheetPath();
  if (!path.isEmpty()) EditSheet->setText(path);
}

void TStationCodesForm::ButtonExportClick() {
  const TProductOptions options = Options();
  if (!options.Problem.empty()) {
    ShowMessage(options.Problem, true);
    return;
  }
  const QString path = AskExportPath();
  if (path.isEmpty() || !Export) return;
  ShowMessage(Export(path.toStdString(), options), false);
}

void TStationCodesForm::ButtonOkClick() {
  const TProductOptions options = Options();
  if (!options.Problem.empty()) {
    ShowMessage(options.Problem, true);
    return;
  }
  accept();
}
