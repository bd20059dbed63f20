#include "service/Unit2.h"

#include <QPlainTextEdit>

TForm2::TForm2(TWindows &windows, QWidget *parent) : QMainWindow(parent), Windows(windows) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Port Monitor"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    setCentralWidget(Memo1);
    resize(480, 360);
}

void TForm2::AddLine(const QString &entry) { Memo1->appendPlainText(entry); }

QStringList TForm2::Lines() const { return Memo1->toPlainText().split(QLatin1Char('\n')); }
