// SPDX-License-Identifier: GPL-3.0-or-later
// The History window: output and reflected power, SWR and temperature
// against time from a history file, over a chosen span (10 min, 1 h, 24 h,
// 7 days) or a dragged range, live while open; the alarms, band changes and
// connection events as markers, with a legend; the values under the mouse;
// zoom and pan; the span as CSV and PNG (titled with the amplifier, the span
// and the time zone); the event list and the transmissions, sortable and
// exportable; and a text of the latest values, each series' minimum,
// maximum and mean over the time, the time transmitting, the energy out
// and the time on air per band. A line never runs across a time with no
// current readings.
// The rows are gathered into one column per pixel, so a week costs what a
// minute does.
#pragma once

#include "history/HistoryReader.h"
#include "historywindow/HistoryView.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QButtonGroup;
class QCPAxisRect;
class QCPGraph;
class QCustomPlot;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTimer;

class HistoryWindow : public QWidget, public HistoryView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryWindow)
public:
    explicit HistoryWindow(QWidget *parent = nullptr);
    ~HistoryWindow() override;
    QWidget *Widget() override { return this; }

    // The spans the buttons choose, in seconds.
    static constexpr qint64 Spans[] = {600, 3600, 86400, 7 * 86400};
    // The live view reads what is new this often.
    static constexpr int LiveIntervalMs = 1000;

    // Milliseconds since the epoch; tests drive time themselves.
    using Clock = std::function<qint64()>;
    void SetClock(Clock clock);
    // The file to show (read-only, beside its writer).
    void SetFile(const QString &path) override;
    QString File() const override { return reader.Path(); }
    // The amplifier as the exported picture names it ("Orvik 1200 2.4 kW
    // on /dev/ttyUSB0").
    void SetAmplifier(const QString &text) override;

    // The span ending now, following the time while open.
    void ShowSpan(qint64 seconds) override;
    // A fixed range, in seconds since the epoch.
    void ShowRange(double from, double to);
    double From() const { return from; }
    double To() const { return to; }
    bool Live() const { return live; }
    // The live timer's tick: what is new since the last read.
    void Refresh();
    QTimer *LiveTimer() const { return liveTimer; }

    // Zoom by factor about the time at, and pan by a share of the span.
    void Zoom(double factor, double at);
    void Pan(double share);

    // The shown span's rows as CSV, the plot as PNG, the event list as CSV.
    bool ExportCsv(const QString &file, QString *error = nullptr) const;
    bool ExportPng(const QString &file) const;
    bool ExportEventsCsv(const QString &file, QString *error = nullptr) const;
    // The transmissions started in the span.
    bool ExportTransmissionsCsv(const QString &file, QString *error = nullptr) const;
    // The exported picture's title.
    QString Title() const override;

    // The text alternative of the plot.
    QString Summary() const;
    // The values at a time, as the line above the plot shows them.
    QString ValuesAt(double t) const;
    // The text of the marker within a few pixels of x on the plot; empty
    // when there is none.
    QString MarkerTextAt(int x) const;
    // The times of the markers shown.
    std::vector<double> MarkerTimes() const;
    QCustomPlot *Plot() const { return plot; }
    QTreeWidget *EventTable() const { return eventTable; }
    QTreeWidget *TransmissionTable() const { return transmissionTable; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Load();
    void Draw();
    void FillEvents();
    void FillTransmissions();
    void RangeChosen(const QRect &rect);
    void ChooseExport(bool png);
    void ChooseEventsExport();
    void ChooseTransmissionsExport();
    // The window's parts, created in this order (so is the tab order).
    QHBoxLayout *CreateSpanRow();
    void CreatePlot(QWidget *parent);
    void CreateLegend();
    QWidget *CreateLists(QWidget *parent);
    void CreateEventTable(QWidget *parent);
    void CreateTransmissionTable(QWidget *parent);
    qint64 ColumnWidth() const;
    double Now() const;

    Clock clock;
    HistoryReader reader;
    double from = 0, to = 0;
    qint64 span = Spans[1];
    bool live = true;
    // What was read for the range: columns of columnWidth seconds from
    // loadedFrom on, and the events.
    std::vector<HistoryColumn> columns;
    std::vector<HistoryEventRow> events;
    std::vector<HistoryTransmissionRow> transmissions;
    // The summary over time of the range, read again once the range has
    // moved by a column (a week of rows costs a few hundred ms).
    const HistorySummary &RangeSummary() const;
    void ShowSummary();
    mutable std::optional<HistorySummary> summary;
    mutable double summaryFrom = 0, summaryTo = 0;
    QString amplifier = QStringLiteral("Orvik 1200");
    qint64 columnWidth = 0;
    qint64 loadedFrom = 0;

    QButtonGroup *spanButtons = nullptr;
    QLabel *valuesLabel = nullptr;
    QCustomPlot *plot = nullptr;
    QCPAxisRect *rects[3] = {};
    QCPGraph *graphs[HistorySeriesCount] = {};
    QLabel *summaryLabel = nullptr;
    QTreeWidget *eventTable = nullptr;
    QTreeWidget *transmissionTable = nullptr;
    QPushButton *csvButton = nullptr, *pngButton = nullptr, *eventsButton = nullptr,
                *transmissionsButton = nullptr;
    QTimer *liveTimer = nullptr;
    struct Marker {
        double t;
        QString kind;
        QString text;
    };
    std::vector<Marker> markers;
};
