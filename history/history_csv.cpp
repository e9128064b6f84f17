#include "history_csv.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <limits>

namespace {

// Quoted when the text holds a separator, a quote or a line break; quotes inside are doubled.
QString csv_cell(QString text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString header(const state_history& history, const QList<int>& fields)
{
    QStringList cells{QStringLiteral("Время")};
    for (int field : fields) {
        cells.append(csv_cell(plot_title(history.catalogue().fields.at(field))));
    }
    return cells.join(QLatin1Char(',')) + QLatin1Char('\n');
}

} // namespace

QByteArray history_csv(const state_history& history, const QList<int>& fields, qint64 from_ms,
                       qint64 to_ms, const QTimeZone& zone)
{
    QString text = header(history, fields);
    // One cursor per field, walked in step: each row takes the earliest time left.
    QVector<int> next;
    for (int field : fields) {
        next.append(history.of(field).first_at_or_after(from_ms));
    }
    const auto time_of = [&](int column) {
        const field_history& samples = history.of(fields.at(column));
        const int i = next.at(column);
        return i < samples.size() && samples.at(i).time_ms <= to_ms
                   ? samples.at(i).time_ms
                   : std::numeric_limits<qint64>::max();
    };
    for (;;) {
        qint64 time = std::numeric_limits<qint64>::max();
        for (int column = 0; column < fields.size(); ++column) {
            time = qMin(time, time_of(column));
        }
        if (time == std::numeric_limits<qint64>::max()) {
            break;
        }
        text += QDateTime::fromMSecsSinceEpoch(time, zone)
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        for (int column = 0; column < fields.size(); ++column) {
            text += QLatin1Char(',');
            if (time_of(column) == time) {
                const double value = history.of(fields.at(column)).at(next[column]++).value;
                text += QString::number(value, 'g', 6);
            }
        }
        text += QLatin1Char('\n');
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}
