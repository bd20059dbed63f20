// SPDX-License-Identifier: GPL-3.0-or-later
// The accessibility layer shared by the widgets: events, colour names, the
// labelled readouts and the announcer. Each widget keeps its own interface.
#include "widgets/Accessible.h"

#include <QAccessibleWidget>
#include <QLabel>

#include <algorithm>

namespace {

class AccessibleAnnouncer : public QAccessibleWidget {
public:
    explicit AccessibleAnnouncer(TAnnouncer *announcer)
        : QAccessibleWidget(announcer, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return static_cast<TAnnouncer *>(widget())->LastMessage();
        return QAccessibleWidget::text(t);
    }
};

// What MakeReadout gives a label, kept as a child object of it.
class ReadoutInfo : public QObject {
public:
    ReadoutInfo(QLabel *label, const QString &caption, const QString &unit, QWidget *colorSource,
                const QHash<TColor, QString> &meanings)
        : QObject(label), caption(caption), unit(unit), colorSource(colorSource),
          meanings(meanings) {
        setObjectName(QStringLiteral("readout"));
    }

    QString Name(const QString &text) const {
        const QString value = text.trimmed();
        const bool known =
            std::any_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
        if (!known)
            return caption + QStringLiteral(" unknown");
        return caption + QLatin1Char(' ') + value +
               (unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    }

    QString Description() const {
        if (!colorSource)
            return QString();
        const QColor c = colorSource->palette().color(QPalette::Window);
        const TColor color = RGBColor(c.red(), c.green(), c.blue());
        const QString meaning = meanings.value(color);
        const QString name = ColorName(color);
        return meaning.isEmpty() ? name : name + QStringLiteral(": ") + meaning;
    }

    QString caption;
    QString unit;
    QWidget *colorSource;
    QHash<TColor, QString> meanings;
};

ReadoutInfo *ReadoutOf(QObject *label) {
    return label->findChild<ReadoutInfo *>(QStringLiteral("readout"), Qt::FindDirectChildrenOnly);
}

class AccessibleReadout : public QAccessibleWidget {
public:
    AccessibleReadout(QLabel *label, ReadoutInfo *info)
        : QAccessibleWidget(label, QAccessible::StaticText), info(info) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return info->Name(static_cast<QLabel *>(widget())->text());
        if (t == QAccessible::Description)
            return info->Description();
        return QAccessibleWidget::text(t);
    }

private:
    ReadoutInfo *info;
};

QAccessibleInterface *WidgetFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("QLabel"))
        if (ReadoutInfo *info = ReadoutOf(object))
            return new AccessibleReadout(static_cast<QLabel *>(object), info);
    if (className == QLatin1String("TAnnouncer"))
        if (auto *announcer = qobject_cast<TAnnouncer *>(object))
            return new AccessibleAnnouncer(announcer);
    return nullptr;
}

} // namespace

void InstallReadoutAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(WidgetFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

bool AccessibleEventsWanted() {
    return QAccessible::isActive();
}

void NotifyAccessible(QObject *object, QAccessible::Event type) {
    if (!AccessibleEventsWanted())
        return;
    QAccessibleEvent event(object, type);
    QAccessible::updateAccessibility(&event);
}

QString ColorName(TColor color) {
    switch (ColorToRGB(color)) {
    case clBlack:
        return QStringLiteral("black");
    case clMaroon:
        return QStringLiteral("maroon");
    case clGreen:
        return QStringLiteral("dark green");
    case clOlive:
        return QStringLiteral("olive");
    case clNavy:
        return QStringLiteral("navy");
    case clPurple:
        return QStringLiteral("purple");
    case clTeal:
        return QStringLiteral("teal");
    case clGray:
        return QStringLiteral("dark grey");
    case clSilver:
        return QStringLiteral("grey");
    case clRed:
        return QStringLiteral("red");
    case clLime:
        return QStringLiteral("green");
    case clYellow:
        return QStringLiteral("yellow");
    case clBlue:
        return QStringLiteral("blue");
    case clFuchsia:
        return QStringLiteral("magenta");
    case clAqua:
        return QStringLiteral("cyan");
    case clWhite:
        return QStringLiteral("white");
    case clLightGreen:
        return QStringLiteral("light green");
    case clAlertPink:
        return QStringLiteral("pink");
    default:
        return QString();
    }
}

void MakeReadout(QLabel *label, const QString &caption, const QString &unit, QWidget *colorSource,
                 const QHash<TColor, QString> &meanings) {
    InstallReadoutAccessibility();
    QHash<TColor, QString> rgbMeanings;
    for (auto it = meanings.begin(); it != meanings.end(); ++it)
        rgbMeanings.insert(ColorToRGB(it.key()), it.value());
    delete ReadoutOf(label);
    new ReadoutInfo(label, caption, unit, colorSource, rgbMeanings);
    // A plain label's interface may be cached already (while a screen reader
    // listens, every new widget announces itself); the next query makes the
    // readout's.
    if (QAccessibleInterface *old = QAccessible::queryAccessibleInterface(label))
        if (!dynamic_cast<AccessibleReadout *>(old))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(old));
}

TAnnouncer::TAnnouncer(QWidget *parent) : QWidget(parent) {
    InstallReadoutAccessibility();
    setObjectName(QStringLiteral("announcer"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Nothing to see: the object exists for the screen reader only.
    setGeometry(0, 0, 0, 0);
}

void TAnnouncer::Announce(const QString &message) {
    m_message = message;
    if (!AccessibleEventsWanted())
        return;
    NotifyAccessible(this, QAccessible::NameChanged);
    // A notification that comes into view is read at once, wherever the focus is.
    NotifyAccessible(this, QAccessible::ObjectShow);
}
