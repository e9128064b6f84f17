#include "transcript_writer.h"

namespace {

const char hex_digits[] = "0123456789abcdef";

QByteArray hex_byte(unsigned char byte)
{
    const char digits[] = {hex_digits[byte >> 4], hex_digits[byte & 0xf]};
    return QByteArray(digits, 2);
}

} // namespace

bool transcript_writer::open(const QString& path, QString& error)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void transcript_writer::received(qint64 time_us, char byte)
{
    write_line(time_us, "RX", hex_byte(static_cast<unsigned char>(byte)));
}

void transcript_writer::sent(qint64 time_us, const QByteArray& line)
{
    write_line(time_us, "TX", escape(line));
}

void transcript_writer::event(qint64 time_us, const QString& text)
{
    write_line(time_us, "EV", escape(text.toUtf8()));
}

QByteArray transcript_writer::escape(const QByteArray& bytes)
{
    QByteArray text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7f) {
            text += "\\x" + hex_byte(byte);
        } else {
            text += c;
        }
    }
    return text;
}

void transcript_writer::write_line(qint64 time_us, const char* kind, const QByteArray& text)
{
    if (file.isOpen()) {
        file.write(QByteArray::number(time_us) + ' ' + kind + ' ' + text + '\n');
    }
}
