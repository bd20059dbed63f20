// SPDX-License-Identifier: GPL-3.0-or-later
#include "historywindow/HistoryWindow.h"

#include "history/HistorySample.h"
#include "history/HistoryStore.h"
#include "historywindow/Plot.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Pixels around a marker that show its text.
constexpr int MarkerReach = 4;
// The shortest range zoom goes down to, in seconds.
constexpr double ShortestRange = 20;

// Colours of the Okabe-Ito set, told apart with the common kinds of colour
// blindness; in grey the two lines that share a plot still differ by their
// lightness and width, and the markers by their dashes.
struct SeriesLook {
    const char *name;
    const char *unit;
    QColor color;
    double width;
    int rect; // which of the three plots
};
const SeriesLook Looks[HistorySeriesCount] = {
    {"output", "W", QColor(213, 94, 0), 2.0, 0},
    {"reflected", "W", QColor(86, 180, 233), 1.2, 0},
    {"SWR", "", QColor(0, 158, 115), 1.5, 1},
    {"temperature", "°C", QColor(230, 159, 0), 1.5, 2},
};

QString Value(double v, int series) {
    const QString unit = QString::fromUtf8(Looks[series].unit);
    const QString number =
        series == int(HistorySeries::Swr)
            ? QString::number(v, 'f', 2)
            : QString::number(v, 'f', std::abs(v - std::round(v)) < 1e-9 ? 0 : 1);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

QString LocalTime(double t, const QString &format = QStringLiteral("yyyy-MM-dd HH:mm:ss")) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(t * 1000))).toString(format);
}

// Which events the plot marks.
bool Marked(const QString &kind) {
    namespace K = HistoryEventKind;
    return kind == K::AlarmStart || kind == K::AlarmEnd || kind == K::Band || kind == K::Opened ||
           kind == K::Lost || kind == K::Back || kind == K::NoAnswer || kind == K::Closed;
}

struct MarkerLook {
    const char *legend;
    QColor color;
    Qt::PenStyle style;
};
const MarkerLook MarkerLooks[] = {
    {"alarm", QColor(204, 121, 167), Qt::DashLine},
    {"band change", QColor(0, 0, 0), Qt::DashDotLine},
    {"connection", QColor(120, 120, 120), Qt::DotLine},
};

const MarkerLook &MarkerLookOf(const QString &kind) {
    namespace K = HistoryEventKind;
    if (kind == K::AlarmStart || kind == K::AlarmEnd)
        return MarkerLooks[0];
    if (kind == K::Band)
        return MarkerLooks[1];
    return MarkerLooks[2];
}

// The longest a row's values hold without a row after them.
constexpr double LongestHold = HistoryStore::HeartbeatSeconds + 1;

QString Duration(double seconds) {
    const qint64 s = qint64(std::llround(seconds));
    return s >= 3600 ? QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60)
           : s >= 60 ? QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60)
                     : QStringLiteral("%1 s").arg(s);
}

bool WriteText(const QString &file, const QString &text, QString *error) {
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}

} // namespace

HistoryWindow::HistoryWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), clock([] { return QDateTime::currentMSecsSinceEpoch(); }) {
    setObjectName(QStringLiteral("FormHistory"));
    setWindowTitle(QStringLiteral("History"));
    resize(900, 720);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(CreateSpanRow());

    valuesLabel = new QLabel(this);
    valuesLabel->setObjectName(QStringLiteral("historyValues"));
    valuesLabel->setText(QStringLiteral("Point at the plot for its values; drag to choose a range, "
                                        "wheel or +/- to zoom, arrows or Shift+wheel to pan."));
    layout->addWidget(valuesLabel);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    CreatePlot(splitter);
    QWidget *lower = CreateLists(splitter);
    splitter->addWidget(plot);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    liveTimer = new QTimer(this);
    liveTimer->setInterval(LiveIntervalMs);
    connect(liveTimer, &QTimer::timeout, this, &HistoryWindow::Refresh);
    spanButtons->button(1)->setChecked(true);
}

// The spans to show and the exports of the readings, in a row above the plot.
QHBoxLayout *HistoryWindow::CreateSpanRow() {
    auto *top = new QHBoxLayout;
    spanButtons = new QButtonGroup(this);
    const char *const spanNames[] = {"10 min", "1 h", "24 h", "7 days"};
    for (int i = 0; i < 4; ++i) {
        auto *b = new QPushButton(QString::fromLatin1(spanNames[i]), this);
        b->setCheckable(true);
        b->setAccessibleName(QStringLiteral("Show the last ") + b->text());
        spanButtons->addButton(b, i);
        top->addWidget(b);
    }
    connect(spanButtons, &QButtonGroup::idClicked, this, [this](int id) { ShowSpan(Spans[id]); });
    top->addStretch();
    csvButton = new QPushButton(QStringLiteral("Export &CSV…"), this);
    pngButton = new QPushButton(QStringLiteral("Export &PNG…"), this);
    connect(csvButton, &QPushButton::clicked, this, [this] { ChooseExport(false); });
    connect(pngButton, &QPushButton::clicked, this, [this] { ChooseExport(true); });
    top->addWidget(csvButton);
    top->addWidget(pngButton);
    return top;
}

// The three plots (power, SWR, temperature) over one time axis.
void HistoryWindow::CreatePlot(QWidget *parent) {
    plot = new QCustomPlot(parent);
    plot->setObjectName(QStringLiteral("historyPlot"));
    plot->setAccessibleName(QStringLiteral("History plot"));
    plot->setFocusPolicy(Qt::StrongFocus);
    plot->setMinimumHeight(300);
    plot->setMouseTracking(true);
    plot->plotLayout()->clear();
    plot->setAutoAddPlottableToLegend(false);
    // The plots' left edges line up, whatever their labels' widths.
    auto *margins = new QCPMarginGroup(plot);
    const char *const axisNames[] = {"Power (W)", "SWR", "Temperature (°C)"};
    for (int r = 0; r < 3; ++r) {
        rects[r] = new QCPAxisRect(plot);
        plot->plotLayout()->addElement(r, 0, rects[r]);
        rects[r]->axis(QCPAxis::atLeft)->setLabel(QString::fromUtf8(axisNames[r]));
        QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
        rects[r]->axis(QCPAxis::atBottom)->setTicker(ticker);
        rects[r]->axis(QCPAxis::atBottom)->setTickLabels(r == 2);
        rects[r]->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    }
    for (int s = 0; s < HistorySeriesCount; ++s) {
        QCPAxisRect *rect = rects[Looks[s].rect];
        graphs[s] = plot->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        graphs[s]->setName(QString::fromUtf8(Looks[s].name));
        graphs[s]->setPen(QPen(Looks[s].color, Looks[s].width));
        // A reading holds until the next row: rows are kept only when it changes.
        graphs[s]->setLineStyle(QCPGraph::lsStepLeft);
        graphs[s]->setAdaptiveSampling(false);
    }
    CreateLegend();
    plot->setSelectionRectMode(QCP::srmCustom);
    connect(plot->selectionRect(), &QCPSelectionRect::accepted, this,
            [this](const QRect &rect, QMouseEvent *) { RangeChosen(rect); });
    plot->installEventFilter(this);
}

void HistoryWindow::CreateLegend() {
    // The legend: the lines, and the markers as the plot draws them.
    // In a row of its own above the plots, over no line.
    auto *legend = new QCPLegend;
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, legend);
    plot->plotLayout()->setRowStretchFactor(0, 0.001);
    legend->setLayer(QStringLiteral("legend"));
    legend->setBorderPen(Qt::NoPen);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(7);
    for (QCPGraph *g : graphs)
        g->addToLegend(legend);
    for (const MarkerLook &m : MarkerLooks) {
        QCPGraph *key =
            plot->addGraph(rects[0]->axis(QCPAxis::atBottom), rects[0]->axis(QCPAxis::atLeft));
        key->setName(QString::fromLatin1(m.legend));
        key->setPen(QPen(m.color, 1.5, m.style));
        key->addToLegend(legend);
    }
}

// Below the plot: the summary in words, the events and the transmissions.
QWidget *HistoryWindow::CreateLists(QWidget *parent) {
    auto *lower = new QWidget(parent);
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    summaryLabel = new QLabel(lower);
    summaryLabel->setObjectName(QStringLiteral("historySummary"));
    summaryLabel->setAccessibleName(QStringLiteral("History in words"));
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    summaryLabel->setFocusPolicy(Qt::TabFocus);
    summaryLabel->setWordWrap(true);
    lowerLayout->addWidget(summaryLabel);
    CreateEventTable(lower);
    CreateTransmissionTable(lower);
    auto *lists = new QTabWidget(lower);
    lists->setObjectName(QStringLiteral("historyLists"));
    lists->addTab(eventTable, QStringLiteral("E&vents"));
    lists->addTab(transmissionTable, QStringLiteral("&Transmissions"));
    lowerLayout->addWidget(lists);
    eventsButton = new QPushButton(QStringLiteral("Export &events…"), lower);
    connect(eventsButton, &QPushButton::clicked, this, &HistoryWindow::ChooseEventsExport);
    transmissionsButton = new QPushButton(QStringLiteral("Export t&ransmissions…"), lower);
    connect(transmissionsButton, &QPushButton::clicked, this,
            &HistoryWindow::ChooseTransmissionsExport);
    auto *eventsRow = new QHBoxLayout;
    eventsRow->addStretch();
    eventsRow->addWidget(eventsButton);
    eventsRow->addWidget(transmissionsButton);
    lowerLayout->addLayout(eventsRow);
    return lower;
}

void HistoryWindow::CreateEventTable(QWidget *parent) {
    // A list rather than a table: every part of it has a name for a
    // screen reader.
    eventTable = new QTreeWidget(parent);
    eventTable->setObjectName(QStringLiteral("historyEvents"));
    eventTable->setAccessibleName(QStringLiteral("Events"));
    eventTable->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Event"),
                                 QStringLiteral("Band"), QStringLiteral("Power (W)"),
                                 QStringLiteral("Duration (s)")});
    eventTable->setRootIsDecorated(false);
    eventTable->setUniformRowHeights(true);
    eventTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    eventTable->setMinimumHeight(6 * (eventTable->fontMetrics().height() + 6));
    // In time order until the operator sorts otherwise.
    eventTable->header()->setSortIndicator(0, Qt::AscendingOrder);
    eventTable->setColumnWidth(0, 150);
    eventTable->setColumnWidth(1, 260);
}

void HistoryWindow::CreateTransmissionTable(QWidget *parent) {
    transmissionTable = new QTreeWidget(parent);
    transmissionTable->setObjectName(QStringLiteral("historyTransmissions"));
    transmissionTable->setAccessibleName(QStringLiteral("Transmissions"));
    transmissionTable->setHeaderLabels({QStringLiteral("Start"), QStringLiteral("Duration (s)"),
                                        QStringLiteral("Band"), QStringLiteral("Average (W)"),
                                        QStringLiteral("Peak (W)"), QStringLiteral("Average SWR"),
                                        QStringLiteral("Worst SWR"), QStringLiteral("Alarms")});
    transmissionTable->setRootIsDecorated(false);
    transmissionTable->setUniformRowHeights(true);
    transmissionTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    transmissionTable->header()->setSortIndicator(0, Qt::AscendingOrder);
    transmissionTable->setColumnWidth(0, 150);
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::SetClock(Clock c) {
    clock = std::move(c);
}

double HistoryWindow::Now() const {
    return clock() / 1000.0;
}

void HistoryWindow::SetAmplifier(const QString &text) {
    amplifier = text;
}

void HistoryWindow::SetFile(const QString &path) {
    reader.Open(path);
    summary.reset();
    columns.clear();
    columnWidth = 0;
    if (live)
        ShowSpan(span);
    else
        ShowRange(from, to);
}

void HistoryWindow::ShowSpan(qint64 seconds) {
    span = seconds;
    live = true;
    for (int i = 0; i < 4; ++i)
        if (Spans[i] == seconds)
            spanButtons->button(i)->setChecked(true);
    to = Now();
    from = to - double(seconds);
    Load();
}

void HistoryWindow::ShowRange(double a, double b) {
    if (b - a < ShortestRange) {
        const double mid = (a + b) / 2;
        a = mid - ShortestRange / 2;
        b = mid + ShortestRange / 2;
    }
    from = a;
    to = b;
    live = false;
    // No span button describes a range of one's own.
    spanButtons->setExclusive(false);
    for (QAbstractButton *b : spanButtons->buttons())
        b->setChecked(false);
    spanButtons->setExclusive(true);
    Load();
}

void HistoryWindow::Zoom(double factor, double at) {
    const double a = at - (at - from) * factor, b = at + (to - at) * factor;
    ShowRange(a, b);
}

void HistoryWindow::Pan(double share) {
    const double d = (to - from) * share;
    ShowRange(from + d, to + d);
}

qint64 HistoryWindow::ColumnWidth() const {
    const int pixels = std::max(100, rects[0]->width() > 0 ? rects[0]->width() : plot->width());
    const qint64 width = std::max<qint64>(1, qint64(std::ceil((to - from) / pixels)));
    // Past half a minute a column, whole minutes: their summaries are read.
    return width > 30 ? (width + 59) / 60 * 60 : width;
}

// Reads the columns and events of the range, keeping what was read before
// when the column width is the same. A hidden window reads when shown.
void HistoryWindow::Load() {
    if (!isVisible())
        return;
    const qint64 width = ColumnWidth();
    const qint64 first = qint64(std::floor(from / width)) * width;
    const qint64 end = qint64(std::ceil(to)) + 1;
    if (width != columnWidth || columns.empty() || first < loadedFrom ||
        columns.back().first / width * width + width < first) {
        columns = reader.Columns(first, end, width);
        loadedFrom = first;
    } else {
        // The columns before the range go; the last one and what follows
        // are read again (the last may have grown).
        const qint64 lastStart = columns.back().first / width * width;
        while (!columns.empty() && columns.front().first < first)
            columns.erase(columns.begin());
        while (!columns.empty() && columns.back().first >= lastStart)
            columns.pop_back();
        const std::vector<HistoryColumn> fresh =
            reader.Columns(std::max(first, lastStart), end, width);
        columns.insert(columns.end(), fresh.begin(), fresh.end());
        loadedFrom = first;
    }
    columnWidth = width;
    events = reader.Events(qint64(std::floor(from * 1000)), qint64(std::ceil(to * 1000)) + 1);
    transmissions =
        reader.Transmissions(qint64(std::floor(from * 1000)), qint64(std::ceil(to * 1000)) + 1);
    Draw();
    FillEvents();
    FillTransmissions();
}

void HistoryWindow::Refresh() {
    if (!reader.IsOpen() && !reader.Path().isEmpty())
        reader.Open(reader.Path());
    if (live) {
        to = Now();
        from = to - double(span);
    }
    Load();
}

void HistoryWindow::Draw() {
    // A line stops where the readings stopped being current.
    std::vector<double> breaks;
    markers.clear();
    // And where no row came within the longest a reading holds: the
    // program was not recording (killed, the machine off).
    for (size_t i = 0; i < columns.size(); ++i) {
        const double end = double(columns[i].last) + LongestHold;
        if (i + 1 < columns.size() ? double(columns[i + 1].first) > end : end < to)
            breaks.push_back(end);
    }
    for (const HistoryEventRow &e : events) {
        if (const auto at = HistoryBreakAt(e))
            breaks.push_back(*at);
        if (Marked(e.kind))
            markers.push_back({e.ms / 1000.0, e.kind,
                               LocalTime(e.ms / 1000.0) + QStringLiteral("  ") + e.Text()});
    }
    std::sort(breaks.begin(), breaks.end());
    for (int s = 0; s < HistorySeriesCount; ++s) {
        QVector<double> keys, values;
        keys.reserve(int(columns.size()) * 3 + int(breaks.size()));
        values.reserve(keys.capacity());
        auto b = breaks.begin();
        for (const HistoryColumn &c : columns) {
            for (; b != breaks.end() && *b < c.first; ++b) {
                keys << *b;
                values << NaN;
            }
            if (!c.min[s] && !c.end[s]) {
                // Rows without this reading (no SWR while receiving): a gap.
                keys << double(c.first);
                values << NaN;
                continue;
            }
            // Lowest, highest, then the last value, which holds until the next.
            const double k = double(c.first);
            keys << k << k << k;
            values << c.min[s].value_or(NaN) << c.max[s].value_or(NaN) << c.end[s].value_or(NaN);
        }
        for (; b != breaks.end(); ++b) {
            keys << *b;
            values << NaN;
        }
        graphs[s]->setData(keys, values, true);
    }
    // Scales: power and temperature from zero, SWR from 1.
    double top[3] = {100, 2, 50};
    for (const HistoryColumn &c : columns)
        for (int s = 0; s < HistorySeriesCount; ++s)
            if (c.max[s])
                top[Looks[s].rect] = std::max(top[Looks[s].rect], *c.max[s]);
    const double bottom[3] = {0, 1, 0};
    for (int r = 0; r < 3; ++r) {
        rects[r]->axis(QCPAxis::atBottom)->setRange(from, to);
        rects[r]
            ->axis(QCPAxis::atLeft)
            ->setRange(bottom[r], bottom[r] + (top[r] - bottom[r]) * 1.08);
        auto ticker =
            qSharedPointerCast<QCPAxisTickerDateTime>(rects[r]->axis(QCPAxis::atBottom)->ticker());
        // The date wherever the range passes a midnight.
        const bool days = LocalTime(from, QStringLiteral("yyyyMMdd")) !=
                          LocalTime(to, QStringLiteral("yyyyMMdd"));
        ticker->setDateTimeFormat(
            (days ? QStringLiteral("d MMM\n") : QString()) +
            (to - from > 600 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss")));
    }
    plot->clearItems();
    for (const Marker &m : markers) {
        if (m.t < from || m.t > to)
            continue;
        for (QCPAxisRect *rect : rects) {
            auto *line = new QCPItemStraightLine(plot);
            line->setClipAxisRect(rect);
            for (QCPItemPosition *p : {line->point1, line->point2}) {
                p->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
                p->setAxisRect(rect);
            }
            line->point1->setCoords(m.t, 0);
            line->point2->setCoords(m.t, 1);
            const MarkerLook &look = MarkerLookOf(m.kind);
            line->setPen(QPen(look.color, 1.2, look.style));
        }
    }
    plot->replot(QCustomPlot::rpQueuedReplot);
    // Past a day the summary's text follows the plot's first paint.
    if (to - from > 86400)
        QTimer::singleShot(0, this, &HistoryWindow::ShowSummary);
    else
        ShowSummary();
}

void HistoryWindow::FillEvents() {
    eventTable->setSortingEnabled(false);
    eventTable->clear();
    for (const HistoryEventRow &e : events) {
        auto *item = new QTreeWidgetItem(eventTable);
        item->setText(0, LocalTime(e.ms / 1000.0));
        item->setText(1, e.Text());
        if (e.band) {
            item->setText(2, HistoryBandName(e.band));
            // Sorted by the band's number, shown by its name.
            item->setData(2, Qt::UserRole, e.band);
        }
        if (e.power)
            item->setData(3, Qt::DisplayRole, std::round(*e.power));
        if (e.durationMs)
            item->setData(4, Qt::DisplayRole, *e.durationMs / 1000.0);
    }
    eventTable->setSortingEnabled(true);
}

void HistoryWindow::FillTransmissions() {
    transmissionTable->setSortingEnabled(false);
    transmissionTable->clear();
    for (const HistoryTransmissionRow &t : transmissions) {
        auto *item = new QTreeWidgetItem(transmissionTable);
        item->setText(0, LocalTime(t.startMs / 1000.0));
        item->setData(1, Qt::DisplayRole, std::round(t.Seconds() * 10) / 10);
        if (t.band)
            item->setText(2, HistoryBandName(t.band));
        auto number = [item](int column, std::optional<double> v, double scale) {
            if (v)
                item->setData(column, Qt::DisplayRole, std::round(*v * scale) / scale);
        };
        number(3, t.averageW, 1);
        number(4, t.peakW, 1);
        number(5, t.averageSwr, 100);
        number(6, t.worstSwr, 100);
        item->setText(7, t.alarms);
    }
    transmissionTable->setSortingEnabled(true);
}

const HistorySummary &HistoryWindow::RangeSummary() const {
    const double step = double(std::max<qint64>(1, columnWidth));
    if (!summary || std::abs(from - summaryFrom) >= step || std::abs(to - summaryTo) >= step) {
        summary = reader.Summarize(from, to);
        summaryFrom = from;
        summaryTo = to;
    }
    return *summary;
}

void HistoryWindow::ShowSummary() {
    const QString text = Summary();
    summaryLabel->setText(text);
    plot->setAccessibleDescription(text);
}

QString HistoryWindow::Summary() const {
    const HistorySummary &summary = RangeSummary();
    QStringList lines;
    lines << QStringLiteral("From %1 to %2.").arg(LocalTime(from), LocalTime(to));
    const HistoryColumn *latest = nullptr;
    for (auto c = columns.rbegin(); c != columns.rend() && !latest; ++c)
        if (double(c->first) <= to)
            latest = &*c;
    for (int s = 0; s < HistorySeriesCount; ++s) {
        const std::optional<double> lo = summary.min[s], hi = summary.max[s];
        QString line = QString::fromUtf8(Looks[s].name);
        line[0] = line[0].toUpper();
        if (!lo) {
            lines << line + QStringLiteral(": no readings.");
            continue;
        }
        line += QStringLiteral(": latest ") +
                (latest && latest->end[s] ? Value(*latest->end[s], s) : QStringLiteral("none"));
        line += QStringLiteral(", lowest ") + Value(*lo, s) + QStringLiteral(", highest ") +
                Value(*hi, s);
        if (summary.mean[s])
            // A mean to a tenth (SWR to a hundredth), whatever it is.
            line +=
                QStringLiteral(", mean ") +
                QString::number(*summary.mean[s], 'f', s == int(HistorySeries::Swr) ? 2 : 1) +
                (*Looks[s].unit ? QLatin1Char(' ') + QString::fromUtf8(Looks[s].unit) : QString());
        lines << line + QLatin1Char('.');
    }
    // On air: the time, the energy, and the time per band of the
    // transmissions that began in the span.
    QString air = QStringLiteral("Time transmitting %1 of %2 recorded, energy out %3 kWh.")
                      .arg(Duration(summary.transmittingSeconds), Duration(summary.recordedSeconds))
                      .arg(summary.energyKWh, 0, 'f', 3);
    double perBand[8] = {};
    for (const HistoryTransmissionRow &t : transmissions)
        perBand[t.band >= 1 && t.band <= 7 ? t.band : 0] += t.Seconds();
    QStringList bands;
    for (int b = 1; b <= 7; ++b)
        if (perBand[b] > 0)
            bands << HistoryBandName(b) + QLatin1Char(' ') + Duration(perBand[b]);
    if (perBand[0] > 0)
        bands << QStringLiteral("band not known ") + Duration(perBand[0]);
    if (!transmissions.empty())
        air += QStringLiteral(" %1 %2: %3.")
                   .arg(transmissions.size())
                   .arg(transmissions.size() == 1 ? QStringLiteral("transmission")
                                                  : QStringLiteral("transmissions"))
                   .arg(bands.join(QStringLiteral(", ")));
    lines << air;
    int alarms = 0;
    for (const HistoryEventRow &e : events)
        alarms += e.kind == HistoryEventKind::AlarmStart;
    lines << QStringLiteral("%1 %2, %3 %4.")
                 .arg(events.size())
                 .arg(events.size() == 1 ? QStringLiteral("event") : QStringLiteral("events"))
                 .arg(alarms)
                 .arg(alarms == 1 ? QStringLiteral("alarm") : QStringLiteral("alarms"));
    return lines.join(QLatin1Char('\n'));
}

QString HistoryWindow::ValuesAt(double t) const {
    // The column holding t, or the last one before it (a value holds).
    const HistoryColumn *at = nullptr;
    for (const HistoryColumn &c : columns) {
        if (double(c.first) > t)
            break;
        at = &c;
    }
    for (const HistoryEventRow &e : events) {
        const auto b = HistoryBreakAt(e);
        if (at && b && *b > double(at->last) && *b <= t)
            at = nullptr;
    }
    // Nothing recorded for longer than a reading holds.
    if (at && t > double(at->last) + LongestHold)
        at = nullptr;
    QString text = LocalTime(t);
    if (!at)
        return text + QStringLiteral("  no readings");
    for (int s = 0; s < HistorySeriesCount; ++s) {
        if (!at->end[s] && !at->min[s])
            continue;
        text += QStringLiteral("  ") + QString::fromUtf8(Looks[s].name) + QLatin1Char(' ');
        const bool range = at->min[s] && at->max[s] && *at->min[s] != *at->max[s] &&
                           double(at->first) <= t && t < double(at->first + columnWidth);
        text += at->end[s] ? Value(*at->end[s], s) : QStringLiteral("–");
        if (range)
            text += QStringLiteral(" (") + Value(*at->min[s], s) + QStringLiteral(" to ") +
                    Value(*at->max[s], s) + QLatin1Char(')');
    }
    return text;
}

QString HistoryWindow::MarkerTextAt(int x) const {
    QCPAxis *axis = rects[0]->axis(QCPAxis::atBottom);
    QStringList texts;
    for (const Marker &m : markers)
        if (m.t >= from && m.t <= to && std::abs(axis->coordToPixel(m.t) - x) <= MarkerReach)
            texts << m.text;
    return texts.join(QLatin1Char('\n'));
}

std::vector<double> HistoryWindow::MarkerTimes() const {
    std::vector<double> times;
    for (const Marker &m : markers)
        if (m.t >= from && m.t <= to)
            times.push_back(m.t);
    return times;
}

void HistoryWindow::RangeChosen(const QRect &rect) {
    QCPAxis *axis = rects[0]->axis(QCPAxis::atBottom);
    const double a = axis->pixelToCoord(rect.left()), b = axis->pixelToCoord(rect.right());
    if (std::abs(rect.width()) >= 3)
        ShowRange(std::min(a, b), std::max(a, b));
}

bool HistoryWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched != plot)
        return QWidget::eventFilter(watched, event);
    QCPAxis *axis = rects[0]->axis(QCPAxis::atBottom);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *m = static_cast<QMouseEvent *>(event);
        const QPoint p = m->position().toPoint();
        valuesLabel->setText(ValuesAt(axis->pixelToCoord(p.x())));
        const QString marker = MarkerTextAt(p.x());
        if (marker.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(m->globalPosition().toPoint(), marker, plot);
        return false;
    }
    case QEvent::Wheel: {
        const auto *w = static_cast<QWheelEvent *>(event);
        const int delta = w->angleDelta().y() ? w->angleDelta().y() : w->angleDelta().x();
        if (delta == 0)
            return true;
        if ((w->modifiers() & Qt::ShiftModifier) || w->angleDelta().y() == 0)
            Pan(delta > 0 ? -0.1 : 0.1);
        else
            Zoom(delta > 0 ? 0.8 : 1.25, axis->pixelToCoord(w->position().x()));
        return true;
    }
    case QEvent::KeyPress: {
        const auto *k = static_cast<QKeyEvent *>(event);
        switch (k->key()) {
        case Qt::Key_Left:
            Pan(-0.1);
            return true;
        case Qt::Key_Right:
            Pan(0.1);
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
        case Qt::Key_Up:
            Zoom(0.8, (from + to) / 2);
            return true;
        case Qt::Key_Minus:
        case Qt::Key_Down:
            Zoom(1.25, (from + to) / 2);
            return true;
        case Qt::Key_End:
        case Qt::Key_Home:
            ShowSpan(span);
            return true;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

void HistoryWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    Refresh();
    liveTimer->start();
}

void HistoryWindow::hideEvent(QHideEvent *event) {
    liveTimer->stop();
    QWidget::hideEvent(event);
}

void HistoryWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    // The columns follow the plot's width.
    Load();
}

bool HistoryWindow::ExportCsv(const QString &file, QString *error) const {
    QString text = HistoryCsvHeader() + QLatin1Char('\n');
    for (const HistoryRow &r : reader.Rows(qint64(std::ceil(from)), qint64(std::floor(to)) + 1))
        text += HistoryCsvLine(r) + QLatin1Char('\n');
    return WriteText(file, text, error);
}

QString HistoryWindow::Title() const {
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(from * 1000)));
    const int offset = start.offsetFromUtc();
    return QStringLiteral("%1: %2 to %3, %4 (UTC%5%6:%7)")
        .arg(amplifier, LocalTime(from, QStringLiteral("yyyy-MM-dd HH:mm")),
             LocalTime(to, QStringLiteral("yyyy-MM-dd HH:mm")), start.timeZoneAbbreviation(),
             offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
        .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
}

bool HistoryWindow::ExportPng(const QString &file) const {
    // The picture says what it shows: a title row above the plots, there
    // only while it is saved.
    auto *title = new QCPTextElement(plot, Title(), QFont(font().family(), 11, QFont::Bold));
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, title);
    const bool ok = plot->savePng(file);
    plot->plotLayout()->remove(title);
    plot->plotLayout()->simplify();
    plot->replot(QCustomPlot::rpQueuedReplot);
    return ok;
}

bool HistoryWindow::ExportTransmissionsCsv(const QString &file, QString *error) const {
    QString text = HistoryTransmissionsCsvHeader() + QLatin1Char('\n');
    for (const HistoryTransmissionRow &t : transmissions)
        text += HistoryTransmissionCsvLine(t) + QLatin1Char('\n');
    return WriteText(file, text, error);
}

bool HistoryWindow::ExportEventsCsv(const QString &file, QString *error) const {
    QString text = HistoryEventsCsvHeader() + QLatin1Char('\n');
    for (const HistoryEventRow &e : events)
        text += HistoryEventCsvLine(e) + QLatin1Char('\n');
    return WriteText(file, text, error);
}

void HistoryWindow::ChooseExport(bool png) {
    const QString stamp = LocalTime(from, QStringLiteral("yyyyMMdd-HHmm"));
    const QString file = QFileDialog::getSaveFileName(
        this, png ? QStringLiteral("Export the plot") : QStringLiteral("Export the readings"),
        QStringLiteral("history-") + stamp +
            (png ? QStringLiteral(".png") : QStringLiteral(".csv")),
        png ? QStringLiteral("PNG pictures (*.png)") : QStringLiteral("CSV files (*.csv)"));
    if (file.isEmpty())
        return;
    QString error;
    const bool ok = png ? ExportPng(file) : ExportCsv(file, &error);
    if (!ok)
        QMessageBox::warning(this, QStringLiteral("History"),
                             QStringLiteral("Cannot write ") + file +
                                 (error.isEmpty() ? QString() : QStringLiteral(": ") + error));
}

void HistoryWindow::ChooseEventsExport() {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the events"),
        QStringLiteral("history-events-") + LocalTime(from, QStringLiteral("yyyyMMdd-HHmm")) +
            QStringLiteral(".csv"),
        QStringLiteral("CSV files (*.csv)"));
    QString error;
    if (!file.isEmpty() && !ExportEventsCsv(file, &error))
        QMessageBox::warning(this, QStringLiteral("History"),
                             QStringLiteral("Cannot write ") + file + QStringLiteral(": ") + error);
}

void HistoryWindow::ChooseTransmissionsExport() {
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the transmissions"),
        QStringLiteral("history-transmissions-") +
            LocalTime(from, QStringLiteral("yyyyMMdd-HHmm")) + QStringLiteral(".csv"),
        QStringLiteral("CSV files (*.csv)"));
    QString error;
    if (!file.isEmpty() && !ExportTransmissionsCsv(file, &error))
        QMessageBox::warning(this, QStringLiteral("History"),
                             QStringLiteral("Cannot write ") + file + QStringLiteral(": ") + error);
}
