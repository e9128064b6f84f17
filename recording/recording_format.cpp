#include "recording_format.h"

#include <QTimeZone>

namespace recording_format {

namespace {

// Offsets of the separators in "2026-12-07T14:05:09.123Z"; every other byte is a digit.
constexpr struct
{
    int at;
    char separator;
} separators[] = {{4, '-'}, {7, '-'}, {10, 'T'}, {13, ':'}, {16, ':'}, {19, '.'}, {23, 'Z'}};

bool is_separator_at(int at)
{
    for (const auto& item : separators) {
        if (item.at == at) {
            return true;
        }
    }
    return false;
}

bool has_time_form(const QByteArray& text)
{
    if (text.size() != time_bytes) {
        return false;
    }
    for (const auto& item : separators) {
        if (text[item.at] != item.separator) {
            return false;
        }
    }
    for (int at = 0; at < time_bytes; ++at) {
        if (!is_separator_at(at) && (text[at] < '0' || text[at] > '9')) {
            return false;
        }
    }
    return true;
}

int number_at(const QByteArray& text, int at, int digits)
{
    return text.mid(at, digits).toInt();
}

int sequence_length(uchar lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xc2 && lead < 0xe0) {
        return 2;
    }
    if (lead >= 0xe0 && lead < 0xf0) {
        return 3;
    }
    return lead >= 0xf0 && lead < 0xf5 ? 4 : 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. Decoding with Qt
// would replace such bytes silently instead of saying where they are.
bool is_utf8(const QByteArray& text)
{
    static const quint32 least[] = {0, 0, 0x80, 0x800, 0x10000};
    int at = 0;
    while (at < text.size()) {
        const uchar lead = uchar(text[at]);
        const int length = sequence_length(lead);
        if (length == 0 || at + length > text.size()) {
            return false;
        }
        quint32 code = length == 1 ? lead : lead & (0x7fu >> length);
        for (int k = 1; k < length; ++k) {
            const uchar next = uchar(text[at + k]);
            if ((next & 0xc0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3f);
        }
        if (code < least[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
            return false;
        }
        at += length;
    }
    return true;
}

} // namespace

QByteArray header_name()
{
    return QByteArrayLiteral("tracker-recording");
}

QByteArray header()
{
    return header_name() + ' ' + QByteArray::number(version);
}

QByteArray format_time(const QDateTime& time)
{
    if (!time.isValid()) {
        return QByteArray();
    }
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    if (date.year() < 0 || date.year() > 9999) {
        return QByteArray();
    }
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", date.year(), date.month(),
                             date.day(), clock.hour(), clock.minute(), clock.second(), clock.msec())
        .toLatin1();
}

bool parse_time(const QByteArray& text, QDateTime& time)
{
    if (!has_time_form(text)) {
        return false;
    }
    const QDate date(number_at(text, 0, 4), number_at(text, 5, 2), number_at(text, 8, 2));
    const QTime clock(number_at(text, 11, 2), number_at(text, 14, 2), number_at(text, 17, 2),
                      number_at(text, 20, 3));
    if (!date.isValid() || !clock.isValid()) {
        return false;
    }
    time = QDateTime(date, clock, QTimeZone::utc());
    return true;
}

text_problem check_text(const QByteArray& text)
{
    if (text.isEmpty()) {
        return text_problem::empty;
    }
    if (text.size() > max_text_bytes) {
        return text_problem::too_long;
    }
    if (text.contains('\r') || text.contains('\n')) {
        return text_problem::line_break;
    }
    return is_utf8(text) ? text_problem::none : text_problem::not_utf8;
}

} // namespace recording_format
