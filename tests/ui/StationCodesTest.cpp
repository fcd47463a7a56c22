// The standard data products in the window: their check boxes, the station codes dialog with
// its checks and its StationXML export, their settings file, and the window's access keys.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <map>

#include "UiFixture.h"
#include "ui/StationCodesForm.h"

using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;
using ui_test::CardWithData;
using ui_test::Child;
using ui_test::TUiTest;

namespace {

class StationCodesTest : public TUiTest {};

// The access key of a caption ("&Erase" gives 'e'), or 0.
QChar AccessKey(const QString& text) {
  for (qsizetype at = text.indexOf('&'); at >= 0 && at + 1 < text.size();
       at = text.indexOf('&', at + 2)) {
    if (text[at + 1] != '&') return text[at + 1].toLower();
  }
  return QChar();
}

TEST_F(StationCodesTest, EveryAccessKeyOfTheWindowIsUniqueAndWorksFromTheKeyboard) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  ASSERT_TRUE(Start());
  TReadTarqForm& f = Form();
  std::map<QChar, QString> owners;
  auto take = [&](const QString& caption) {
    const QChar key = AccessKey(caption);
    if (key.isNull()) return;
    EXPECT_FALSE(owners.count(key)) << "'" << QString(key).toStdString() << "' of "
                                    << caption.toStdString() << " and "
                                    << owners[key].toStdString();
    owners[key] = caption;
  };
  // A button's key is its shortcut: Refresh keeps its caption "R&efresh" but answers F5.
  for (QAbstractButton* button : f.findChildren<QAbstractButton*>()) {
    const QKeySequence shortcut = button->shortcut();
    if (shortcut.isEmpty() || shortcut[0].keyboardModifiers() != Qt::AltModifier) continue;
    take(QStringLiteral("&") + QChar(shortcut[0].key()));
  }
  for (QLabel* label : f.findChildren<QLabel*>()) take(label->text());
  for (QGroupBox* group : f.findChildren<QGroupBox*>()) take(group->title());
  // Restore loses its key once the card is shown ("Restore" / "Restored").
  std::string keys;
  for (const auto& [key, caption] : owners) keys += QString(key).toStdString();
  EXPECT_EQ(keys, "abcdehimnopqsvw");  // n: Ingest card..., p: Report..., v: Preview, w: Archive
  EXPECT_EQ(Child<QPushButton>(f, "ButtonRefresh")->shortcut(), QKeySequence(Qt::Key_F5));

  f.show();
  QApplication::setActiveWindow(&f);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  // A button's access key clicks it after a short animation.
  auto press = [&f](Qt::Key key) {
    QTest::keyClick(f.windowHandle(), key, Qt::AltModifier);
    QTest::qWait(250);
  };
  press(Qt::Key_M);
  EXPECT_TRUE(Child<QCheckBox>(f, "CheckBoxMseed")->isChecked());
  press(Qt::Key_H);
  EXPECT_TRUE(Child<QCheckBox>(f, "CheckBoxSds")->isChecked());
  press(Qt::Key_S);
  EXPECT_EQ(Child<QListWidget>(f, "EventList")->selectedItems().size(), 3);
  f.hide();
}

TEST_F(StationCodesTest, TheDialogChecksTheCodesExportsStationXmlAndTheSettingsKeepThem) {
  CardWithData().WriteTo(CardDir());
  WriteSettings(Root / "out");
  WriteWholeFile(Root / "bad.csv", "serial,latitude\n12,north\n");
  WriteWholeFile(Root / "good.csv", "serial,station,latitude,longitude\n12,ABC,45.5,6.25\n");
  ASSERT_TRUE(Start());
  TReadTarqForm& f = Form();
  EXPECT_FALSE(Child<QCheckBox>(f, "CheckBoxMseed")->isChecked());
  // miniSEED alone is an output kind: Download stays enabled.
  Child<QCheckBox>(f, "CheckBoxRecord")->click();
  EXPECT_FALSE(Child<QPushButton>(f, "ButtonDownload")->isEnabled());
  Child<QCheckBox>(f, "CheckBoxSds")->click();
  EXPECT_TRUE(Child<QPushButton>(f, "ButtonDownload")->isEnabled());
  Child<QListWidget>(f, "EventList")->item(1)->setSelected(true);

  std::string firstMessage;
  std::string exported;
  const std::string xml = Root / "inventory.xml";
  ui_test::WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<TStationCodesForm*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->EditNetwork->setText("z3");
    dialog->EditSheet->setText(QString::fromStdString(Root / "bad.csv"));
    dialog->ButtonOk->click();  // refused: the dialog stays open
    firstMessage = dialog->LabelMessage->text().toStdString();
    dialog->AskSheetPath = [&] { return QString::fromStdString(Root / "good.csv"); };
    dialog->ButtonBrowseSheet->click();
    dialog->ComboRecordLength->setCurrentIndex(1);
    dialog->AskExportPath = [&] { return QString::fromStdString(xml); };
    dialog->ButtonExport->click();
    exported = dialog->LabelMessage->text().toStdString();
    dialog->ButtonOk->click();
  });
  Child<QPushButton>(f, "ButtonStationCodes")->click();
  EXPECT_EQ(firstMessage, Root / "bad.csv" + " line 2, column latitude: not a number: 'north'");
  EXPECT_EQ(exported, "StationXML written to " + xml);
  const std::string document = ReadWholeFile(xml);
  EXPECT_NE(document.find("<Network code=\"Z3\""), std::string::npos);
  EXPECT_NE(document.find("<Station code=\"ABC\""), std::string::npos);
  EXPECT_NE(document.find("<Latitude>45.5</Latitude>"), std::string::npos);
  EXPECT_EQ(f.ChosenSettings().Network, "Z3");
  EXPECT_EQ(f.ChosenSettings().StationSheet, Root / "good.csv");
  EXPECT_EQ(f.ChosenSettings().RecordLength, 512);

  // Cancel keeps what was there.
  ui_test::WhenModal([](QWidget* modal) {
    auto* dialog = qobject_cast<TStationCodesForm*>(modal);
    dialog->EditNetwork->setText("AA");
    dialog->ButtonCancel->click();
  });
  Child<QPushButton>(f, "ButtonStationCodes")->click();
  EXPECT_EQ(f.ChosenSettings().Network, "Z3");

  Program->Finish();
  const std::string ini = ReadWholeFile(IniPath());
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 7);
  EXPECT_EQ(ReadWholeFile(ProgramDir + "/READTARQ-SEED.INI"),
            "MiniSeedFile := FALSE;\r\nSdsArchive   := TRUE;\r\nNetwork      := Z3;\r\n"
            "Stations     := " + Root / "good.csv" + ";\r\nRecordLength := 512;\r\n");
}

}  // namespace
