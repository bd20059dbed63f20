// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader learns about the indicator widgets: the events they
// raise when their state changes (each widget's file gives its own
// interface), labelled readouts, and an announcer that speaks a short
// message without taking the focus.
#pragma once

#include "widgets/Colors.h"

#include <QAccessible>
#include <QHash>
#include <QString>
#include <QWidget>

class QLabel;

// Installs Factory once: each widget's constructor does so for the
// interface that its own file defines.
template <QAccessible::InterfaceFactory Factory> void InstallAccessibility() {
    static const bool installed = (QAccessible::installFactory(Factory), true);
    Q_UNUSED(installed);
}

// Installs, once, the interfaces of the readouts and the announcer.
void InstallReadoutAccessibility();

// True while an assistive tool listens (QAccessible::isActive()). The
// widgets raise their events only then, so that without one a reading costs
// nothing extra.
bool AccessibleEventsWanted();

// Raises `type` (a plain event such as DescriptionChanged or Alert) for
// `object` when events are wanted.
void NotifyAccessible(QObject *object, QAccessible::Event type);

// The everyday name of a panel colour ("red", "green" ...), empty for a
// colour without one.
QString ColorName(TColor color);

// Makes `label`, which shows a bare value, read as a labelled one:
// "SWR 1.5", "Temperature 45 degrees" (caption, the label's text or
// "unknown" while it holds no digit, unit). With `colorSource`, the
// description names that widget's background colour and what `meanings`
// say it means ("green: cool").
void MakeReadout(QLabel *label, const QString &caption, const QString &unit = QString(),
                 QWidget *colorSource = nullptr,
                 const QHash<TColor, QString> &meanings = QHash<TColor, QString>());

// Speaks short messages (transmitting, PTT blocked, an alarm) through a
// screen reader while the focus stays where it is: an invisible object of
// the notification role whose name is the message, shown anew for each one.
class TAnnouncer : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAnnouncer)
public:
    explicit TAnnouncer(QWidget *parent);

    void Announce(const QString &message);
    QString LastMessage() const { return m_message; }

private:
    QString m_message;
};
