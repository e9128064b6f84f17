#include "reply_lines.h"

namespace {

QByteArray noise_line(fault_settings::noise_kind kind, int number, const QByteArray& sd_line)
{
    if (kind == fault_settings::noise_kind::mixed) {
        static const fault_settings::noise_kind cycle[] = {fault_settings::noise_kind::empty,
                                                           fault_settings::noise_kind::text,
                                                           fault_settings::noise_kind::sd};
        kind = cycle[number % 3];
    }
    switch (kind) {
    case fault_settings::noise_kind::text:
        return "NOISE " + QByteArray::number(number + 1);
    case fault_settings::noise_kind::sd:
        return sd_line;
    default:
        return QByteArray();
    }
}

} // namespace

QByteArray long_line(int length)
{
    static const QByteArray pattern("0123456789");
    return pattern.repeated(length / pattern.size() + 1).left(length);
}

QList<QByteArray> reply_lines(const QByteArray& reply, const fault_settings& faults,
                              const QByteArray& sd_line)
{
    QList<QByteArray> lines;
    for (int k = 0; k < faults.noise_lines; ++k) {
        lines.append(noise_line(faults.noise, k, sd_line));
    }
    if (faults.long_line > 0) {
        lines.append(long_line(faults.long_line));
    }
    lines.append(reply);
    for (QByteArray& line : lines) {
        line += faults.line_end_bytes();
    }
    return lines;
}
