#include "ui/APropos.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

QPixmap ReadTarqPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  // The card, with its cut corner.
  QPainterPath card;
  card.moveTo(4, 2);
  card.lineTo(22, 2);
  card.lineTo(28, 8);
  card.lineTo(28, 30);
  card.lineTo(4, 30);
  card.closeSubpath();
  painter.setPen(QPen(QColor(40, 40, 90), 1.2));
  painter.setBrush(QColor(70, 90, 160));
  painter.drawPath(card);
  painter.setBrush(QColor(245, 245, 235));
  painter.setPen(Qt::NoPen);
  painter.drawRect(QRectF(7, 9, 18, 17));
  // A seismic event on it.
  const double trace[] = {17, 17, 16, 18, 17, 12, 23, 10, 25, 13, 21, 15, 18, 16, 17.5, 17, 17};
  QPainterPath wave;
  for (int i = 0; i < 17; ++i) {
    const double x = 8 + i;
    if (i == 0) {
      wave.moveTo(x, trace[i]);
    } else {
      wave.lineTo(x, trace[i]);
    }
  }
  painter.setPen(QPen(QColor(200, 0, 0), 1.3));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(wave);
  return pixmap;
}

TAProposForm::TAProposForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AProposForm"));
  setWindowTitle(QStringLiteral("About  ReadTarq"));
  setModal(true);

  ReadTarqStaticText = new QLabel(QStringLiteral("ReadTarq"));
  QFont nameFont(QStringLiteral("Arial"));
  nameFont.setPixelSize(43);
  ReadTarqStaticText->setFont(nameFont);
  QPalette red = ReadTarqStaticText->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  ReadTarqStaticText->setPalette(red);
  ReadTarqStaticText->setAlignment(Qt::AlignCenter);
  ReadTarqStaticText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ReadTarqStaticText->setContentsMargins(14, 2, 14, 8);

  Image = new QLabel;
  Image->setPixmap(ReadTarqPixmap(32));

  VersionLabel = new QLabel(QStringLiteral("Version"));
  AuteurLabel = new QLabel(QStringLiteral("The ReadTarq developers"));
  CopyrightLabel = new QLabel(QStringLiteral("Copyright (C) 2026 The ReadTarq developers"));
  Label1 = new QLabel(QStringLiteral("Reads, converts and maintains recorder flash cards"));
  Label2 = new QLabel(QStringLiteral("For the TarqProbe portable seismic recorders"));
  Label3 = new QLabel(QStringLiteral("and the cards of their acquisition software"));
  for (QLabel* label : {VersionLabel, AuteurLabel, CopyrightLabel, Label1, Label2, Label3}) {
    label->setAlignment(Qt::AlignCenter);
  }

  OkButton = new QPushButton(QStringLiteral("OK"));
  OkButton->setDefault(true);

  auto* title = new QGridLayout;
  title->setColumnStretch(0, 1);
  title->setColumnStretch(4, 1);
  title->addWidget(ReadTarqStaticText, 0, 1);
  title->setColumnMinimumWidth(2, 12);
  title->addWidget(Image, 0, 3, Qt::AlignLeft | Qt::AlignVCenter);
  // The name stays centred: the icon's width is balanced on the left.
  title->setColumnMinimumWidth(0, 44);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 24, 18);
  layout->setSpacing(8);
  layout->addLayout(title);
  layout->addSpacing(10);
  layout->addWidget(VersionLabel);
  layout->addWidget(AuteurLabel);
  layout->addWidget(CopyrightLabel);
  layout->addSpacing(28);
  layout->addWidget(Label1);
  layout->addWidget(Label2);
  layout->addWidget(Label3);
  layout->addSpacing(18);
  layout->addWidget(OkButton, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(OkButton, &QPushButton::clicked, this, &TAProposForm::OkButtonClick);
}

void TAProposForm::OkButtonClick() {
  accept();
}
