// The calibration window: instructions, an ALC slider with step arrows and
// the two calibration power buttons. Created at start; nothing opens it and
// nothing in it talks to the amplifier.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSlider;

class TForm3 : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)
public:
    explicit TForm3(QWidget *parent = nullptr);

    QPlainTextEdit *Memo1 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QPushButton *Button1 = nullptr; // left arrow
    QSlider *TrackBar1 = nullptr;
    QPushButton *Button2 = nullptr; // right arrow
    QPushButton *Button3 = nullptr; // "500W", no action
    QPushButton *Button4 = nullptr; // "1000W", no action

    // The arrows step the slider; the slider keeps itself within 0..255.
    void Button1Click();
    void Button2Click();
};
