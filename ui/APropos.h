#pragma once
// The about box.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

// The program's icon: a seismogram trace on a flash card.
QPixmap ReadTarqPixmap(int size);

class TAProposForm : public QDialog {
  Q_OBJECT

 public:
  explicit TAProposForm(QWidget* parent = nullptr);

  QLabel* ReadTarqStaticText;
  QLabel* Image;
  QLabel* VersionLabel;
  QLabel* AuteurLabel;
  QLabel* CopyrightLabel;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* OkButton;

  void OkButtonClick();
};
