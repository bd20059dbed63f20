// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/CalibrationWindow.h"

#include "widgets/Colors.h"
#include "widgets/Fonts.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

namespace {
QLabel *NewLabel(QWidget *parent, const char *name, const QString &text, int x, int y) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->move(x, y);
    l->adjustSize();
    return l;
}

QPushButton *NewButton(QWidget *parent, const char *name, const QString &text, QRect r) {
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(r);
    return b;
}

QPushButton *NewArrow(QWidget *parent, const char *name, QChar symbol, QRect r) {
    const QString family = QStringLiteral("Wingdings 3");
    QPushButton *b = NewButton(parent, name, SubstituteGlyph(family, symbol), r);
    b->setFont(SubstituteFontPixels(family, 16));
    return b;
}
} // namespace

CalibrationWindow::CalibrationWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Calibration"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(452, 201);
    setFont(SubstituteFontPixels(QStringLiteral("MS Sans Serif"), 11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clBtnFace));
    setPalette(pal);
    setAutoFillBackground(true);

    auto *instructions = new QPlainTextEdit(this);
    instructions->setObjectName(QStringLiteral("Memo1"));
    instructions->setGeometry(16, 8, 433, 65);
    instructions->setFrameStyle(QFrame::NoFrame);
    QFont memoFont = SubstituteFontPixels(QStringLiteral("MS Sans Serif"), 13);
    memoFont.setBold(true);
    instructions->setFont(memoFont);
    QPalette memoPal = instructions->palette();
    memoPal.setColor(QPalette::Base, ToQColor(clBtnFace));
    memoPal.setColor(QPalette::Text, ToQColor(clPurple));
    instructions->setPalette(memoPal);
    instructions->setLineWrapMode(QPlainTextEdit::NoWrap);
    instructions->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    instructions->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    instructions->setPlainText(
        QStringLiteral("     To calibrate  Power  Regulation, switch on PTT and set \n"
                       "     Output Power to 500W or 1000W using  ALC regulation.\n"
                       "     Next switch PTT off and click on the proper button (500\n"
                       "     or 1000W)."));

    NewLabel(this, "Label1", QStringLiteral("ALC"), 48, 88);
    QPushButton *stepDown = NewArrow(this, "Button1", QLatin1Char('t'), QRect(8, 104, 27, 33));
    alcSlider = new QSlider(Qt::Horizontal, this);
    alcSlider->setObjectName(QStringLiteral("TrackBar1"));
    alcSlider->setGeometry(32, 104, 385, 33);
    alcSlider->setRange(0, 255);
    alcSlider->setValue(0);
    alcSlider->setPageStep(1);
    alcSlider->setTickInterval(5);
    alcSlider->setTickPosition(QSlider::TicksBelow);
    QPushButton *stepUp = NewArrow(this, "Button2", QLatin1Char('u'), QRect(416, 104, 25, 33));
    NewLabel(this, "Label2", QStringLiteral("Min"), 40, 136);
    NewLabel(this, "Label4", QStringLiteral("50%"), 216, 136);
    NewLabel(this, "Label3", QStringLiteral("Max"), 392, 136);
    // The calibration power buttons do nothing.
    QPushButton *power500 =
        NewButton(this, "Button3", QStringLiteral("500W"), QRect(272, 160, 75, 25));
    QPushButton *power1000 =
        NewButton(this, "Button4", QStringLiteral("1000W"), QRect(360, 160, 75, 25));

    setTabOrder(alcSlider, stepDown);
    setTabOrder(stepDown, stepUp);
    setTabOrder(stepUp, power500);
    setTabOrder(power500, power1000);
    setTabOrder(power1000, instructions);

    // The slider keeps itself within 0..255.
    connect(stepDown, &QPushButton::clicked, this,
            [this] { alcSlider->setValue(alcSlider->value() - 1); });
    connect(stepUp, &QPushButton::clicked, this,
            [this] { alcSlider->setValue(alcSlider->value() + 1); });
}
