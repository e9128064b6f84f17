#include "fault_settings.h"

#include <QMap>

namespace {

bool read_switch(const QString& value, bool& target)
{
    if (value == QLatin1String("on") || value == QLatin1String("off")) {
        target = value == QLatin1String("on");
        return true;
    }
    return false;
}

bool read_count(const QString& value, int& target)
{
    bool ok = false;
    const int number = value.toInt(&ok);
    if (ok && number >= 0) {
        target = number;
        return true;
    }
    return false;
}

template <typename T>
bool read_choice(const QString& value, const QMap<QString, T>& choices, T& target)
{
    if (choices.contains(value)) {
        target = choices.value(value);
        return true;
    }
    return false;
}

const QMap<QString, fault_settings::line_end> line_ends{
    {QStringLiteral("cr"), fault_settings::line_end::cr},
    {QStringLiteral("crlf"), fault_settings::line_end::crlf},
    {QStringLiteral("lfcr"), fault_settings::line_end::lfcr},
};

const QMap<QString, fault_settings::noise_kind> noise_kinds{
    {QStringLiteral("empty"), fault_settings::noise_kind::empty},
    {QStringLiteral("text"), fault_settings::noise_kind::text},
    {QStringLiteral("sd"), fault_settings::noise_kind::sd},
    {QStringLiteral("mixed"), fault_settings::noise_kind::mixed},
};

} // namespace

bool fault_settings::set(const QString& name, const QString& value, QString& error)
{
    bool ok = false;
    if (name == QLatin1String("refuse-handshake")) {
        ok = read_switch(value, refuse_handshake);
    } else if (name == QLatin1String("silent")) {
        ok = read_switch(value, silent);
    } else if (name == QLatin1String("reply-delay")) {
        ok = read_count(value, reply_delay_ms);
    } else if (name == QLatin1String("byte-pause")) {
        ok = read_count(value, byte_pause_us);
    } else if (name == QLatin1String("noise-lines")) {
        ok = read_count(value, noise_lines);
    } else if (name == QLatin1String("noise-kind")) {
        ok = read_choice(value, noise_kinds, noise);
    } else if (name == QLatin1String("line-end")) {
        ok = read_choice(value, line_ends, end);
    } else if (name == QLatin1String("long-line")) {
        ok = read_count(value, long_line);
    } else {
        error = QStringLiteral("unknown setting \"%1\"").arg(name);
        return false;
    }
    if (!ok) {
        error = QStringLiteral("bad value \"%1\" for %2").arg(value, name);
    }
    return ok;
}

QByteArray fault_settings::line_end_bytes() const
{
    switch (end) {
    case line_end::cr:
        return QByteArrayLiteral("\r");
    case line_end::crlf:
        return QByteArrayLiteral("\r\n");
    case line_end::lfcr:
        return QByteArrayLiteral("\n\r");
    }
    return QByteArrayLiteral("\r");
}
