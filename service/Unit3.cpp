#include "service/Unit3.h"

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

TForm3::TForm3(QWidget *parent)
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

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(16, 8, 433, 65);
    Memo1->setFrameStyle(QFrame::NoFrame);
    QFont memoFont = SubstituteFontPixels(QStringLiteral("MS Sans Serif"), 13);
    memoFont.setBold(true);
    Memo1->setFont(memoFont);
    QPalette memoPal = Memo1->palette();
    memoPal.setColor(QPalette::Base, ToQColor(clBtnFace));
    memoPal.setColor(QPalette::Text, ToQColor(clPurple));
    Memo1->setPalette(memoPal);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText(
        QStringLiteral("     To calibrate  Power  Regulation, switch on PTT and set \n"
                       "     Output Power to 500W or 1000W using  ALC regulation.\n"
                       "     Next switch PTT off and click on the proper button (500\n"
                       "     or 1000W)."));

    Label1 = NewLabel(this, "Label1", QStringLiteral("ALC"), 48, 88);
    Button1 = NewArrow(this, "Button1", QLatin1Char('t'), QRect(8, 104, 27, 33));
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setGeometry(32, 104, 385, 33);
    TrackBar1->setRange(0, 255);
    TrackBar1->setValue(0);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickInterval(5);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    Button2 = NewArrow(this, "Button2", QLatin1Char('u'), QRect(416, 104, 25, 33));
    Label2 = NewLabel(this, "Label2", QStringLiteral("Min"), 40, 136);
    Label4 = NewLabel(this, "Label4", QStringLiteral("50%"), 216, 136);
    Label3 = NewLabel(this, "Label3", QStringLiteral("Max"), 392, 136);
    Button3 = NewButton(this, "Button3", QStringLiteral("500W"), QRect(272, 160, 75, 25));
    Button4 = NewButton(this, "Button4", QStringLiteral("1000W"), QRect(360, 160, 75, 25));

    setTabOrder(TrackBar1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Memo1);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TForm3::Button1Click() {
    TrackBar1->setValue(TrackBar1->value() - 1);
}

void TForm3::Button2Click() {
    TrackBar1->setValue(TrackBar1->value() + 1);
}
