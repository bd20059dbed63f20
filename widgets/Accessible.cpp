// Accessible interfaces of the indicator widgets and the announcer.
#include "widgets/Accessible.h"

#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QLabel>

#include <algorithm>

namespace {

// A push button; a latching one is a toggle button whose Down is its
// checked state. Pressing it through the screen reader is a click.
class AccessibleColorButton : public QAccessibleWidget {
public:
    explicit AccessibleColorButton(TColorButton *button)
        : QAccessibleWidget(button, QAccessible::PushButton) {}

    TColorButton *button() const { return static_cast<TColorButton *>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return button()->Caption();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (button()->Latching()) {
            s.checkable = true;
            s.checked = button()->Down();
            s.pressed = button()->Pressed();
        } else {
            s.pressed = button()->Pressed() || button()->Down();
        }
        return s;
    }

    QStringList actionNames() const override {
        QStringList names{QAccessibleActionInterface::pressAction()};
        if (button()->Latching())
            names << QAccessibleActionInterface::toggleAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override {
        if (!widget()->isEnabled())
            return;
        if (action == QAccessibleActionInterface::pressAction() ||
            action == QAccessibleActionInterface::toggleAction())
            button()->Activate();
        else
            QAccessibleWidget::doAction(action);
    }
};

// A lamp reads as a label: its name is what it stands for (the window's
// accessible name), its description whether it is lit, in which colour and
// what that colour means. Qt's indicator role would reach the platform's
// accessibility bus as an unknown object, which screen readers pass over.
class AccessibleLedLamp : public QAccessibleWidget {
public:
    explicit AccessibleLedLamp(TLedLamp *lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description)
            return static_cast<TLedLamp *>(widget())->StateDescription();
        return QAccessibleWidget::text(t);
    }
};

// A level bar with its reading in the unit it shows (watts for the power
// meters); the value cannot be set through it.
class AccessibleBarMeter : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleBarMeter(TBarMeter *meter)
        : QAccessibleWidget(meter, QAccessible::ProgressBar) {}

    TBarMeter *meter() const { return static_cast<TBarMeter *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return meter()->ValueText();
        if (t == QAccessible::Description) {
            const QString hint = widget()->accessibleDescription();
            return hint.isEmpty() ? meter()->ValueText()
                                  : meter()->ValueText() + QStringLiteral(". ") + hint;
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return meter()->ScaledValue(meter()->Position()); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return meter()->ScaledValue(meter()->Max()); }
    QVariant minimumValue() const override { return meter()->ScaledValue(meter()->Min()); }
    QVariant minimumStepSize() const override { return meter()->ScaledValue(1); }
};

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
    if (className == QLatin1String("TColorButton"))
        if (auto *button = qobject_cast<TColorButton *>(object))
            return new AccessibleColorButton(button);
    if (className == QLatin1String("TLedLamp"))
        if (auto *lamp = qobject_cast<TLedLamp *>(object))
            return new AccessibleLedLamp(lamp);
    if (className == QLatin1String("TBarMeter"))
        if (auto *meter = qobject_cast<TBarMeter *>(object))
            return new AccessibleBarMeter(meter);
    if (className == QLatin1String("TAnnouncer"))
        if (auto *announcer = qobject_cast<TAnnouncer *>(object))
            return new AccessibleAnnouncer(announcer);
    return nullptr;
}

} // namespace

void InstallWidgetAccessibility() {
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
    InstallWidgetAccessibility();
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
    InstallWidgetAccessibility();
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
