// The port monitor: the log of every line sent and received.
#pragma once

#include "app/Windows.h"

#include <QMainWindow>

class QPlainTextEdit;

class TForm2 : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)
public:
    explicit TForm2(TWindows &windows, QWidget *parent = nullptr);

    TWindows &Windows;
    QPlainTextEdit *Memo1 = nullptr;

    // Adds one entry to the live log.
    void AddLine(const QString &entry);
    // The live log's entries, one per line.
    QStringList Lines() const;
};
