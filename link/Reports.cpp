// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Reports.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace Reports {

std::optional<int> ToInt(const QString &text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == n)
        return std::nullopt;
    long long value = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return std::nullopt;
    return int(value);
}

bool TextGreater(const QString &a, const QString &b) {
    // One character per byte: comparing the code units is comparing bytes.
    return QString::compare(a, b, Qt::CaseSensitive) > 0;
}

bool FineTuningAllowed(const QString &firmwareVersion) {
    return TextGreater(firmwareVersion, QStringLiteral("3.28"));
}

std::optional<double> ToDecimal(const QString &text) {
    if (const std::optional<int> n = ToInt(text))
        return *n;
    // Optional leading blanks, an optional sign, digits with one decimal
    // point (at least one digit), nothing after them.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    int digits = 0, points = 0;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.'))
            ++points;
        else if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            ++digits;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    bool ok = false;
    const double value = QStringView(text).mid(start).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

TempRange TemperatureRange(const QString &value) {
    if (const std::optional<double> t = ToDecimal(value)) {
        if (*t < 40)
            return TempRange::Cool;
        if (*t < 60)
            return TempRange::Warm;
        if (*t < 75)
            return TempRange::Hot;
        return TempRange::Alarm;
    }
    if (TextGreater(QStringLiteral("40"), value))
        return TempRange::Cool;
    if (TextGreater(QStringLiteral("60"), value))
        return TempRange::Warm;
    if (TextGreater(QStringLiteral("75"), value))
        return TempRange::Hot;
    return TempRange::Alarm;
}

QString PeakLogged(const QString &received, int number, bool pa12kW) {
    const int limit = pa12kW ? 1200 : 2400;
    return number > limit ? QString::number(limit) : received;
}

QString PadRelays(const QString &field) {
    return (QStringLiteral("00000000") + field.trimmed()).right(8);
}

std::optional<double> RelaySum(const QString &digits8, double unit) {
    double sum = 0;
    for (int i = 8; i >= 1; --i) {
        const std::optional<int> d = ToInt(digits8.mid(i - 1, 1));
        if (!d)
            return std::nullopt;
        sum += *d * unit * std::ldexp(1.0, 8 - i);
    }
    return sum;
}

QString GeneralDecimal(double value) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

QString InductanceCaption(double microHenry) {
    return GeneralDecimal(microHenry) + QStringLiteral(" ") + QChar(0xB5) + QStringLiteral("H");
}

QString CapacitanceCaption(double picoFarad) {
    return GeneralDecimal(picoFarad) + QStringLiteral(" pF");
}

std::optional<double> SwrValue(const QString &value) {
    const std::optional<int> tenths = ToInt(value.trimmed());
    if (!tenths || *tenths == 255 || *tenths < 10)
        return std::nullopt;
    return *tenths / 10.0;
}

QString SwrText(const QString &value) {
    const std::optional<double> swr = SwrValue(value);
    return swr ? QString::number(*swr, 'f', 1) : QStringLiteral("???");
}

std::optional<AtuStatus> AtuStatusFor(int code) {
    switch (code) {
    case 1:
        return AtuStatus{QStringLiteral("Wrong power!"), AtuTone::Alert};
    case 2:
        return AtuStatus{QStringLiteral("SWR is too high (>1:4)!"), AtuTone::Alert};
    case 3:
        return AtuStatus{QStringLiteral("Tuning is in progress..."), AtuTone::Busy};
    case 4:
        return AtuStatus{QStringLiteral("Tuning is finished!!"), AtuTone::Good};
    case 5:
        return AtuStatus{QStringLiteral("Tuning is failed !"), AtuTone::Alert};
    case 6:
        return AtuStatus{QStringLiteral("SWR is OK - tuning is not required!"), AtuTone::Good};
    case 7:
        return AtuStatus{QStringLiteral("ATU is for HF Bands only!"), AtuTone::Alert};
    default:
        return std::nullopt;
    }
}

} // namespace Reports
