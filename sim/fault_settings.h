#pragma once

#include <QByteArray>
#include <QString>

// The faults a test can put into the simulated tracker, from the command line at start or through
// the control channel during a run. Both use the same names and values.
struct fault_settings
{
    enum class line_end
    {
        cr,
        crlf,
        lfcr,
    };
    enum class noise_kind
    {
        empty,
        text,
        sd,
        mixed,
    };

    bool refuse_handshake = false;
    bool silent = false;    // commands are never answered
    int reply_delay_ms = 0; // before the first byte of a reply
    int byte_pause_us = 0;  // between the bytes of the lines of a reply
    int noise_lines = 0;    // other lines sent before each reply
    noise_kind noise = noise_kind::text;
    line_end end = line_end::crlf;
    int long_line = 0; // bytes of an over-long line sent before each reply, 0 for none

    // Sets one fault by name: "refuse-handshake" and "silent" take on|off, "noise-kind"
    // empty|text|sd|mixed, "line-end" cr|crlf|lfcr, the others a number that is not negative.
    // False, with error, for an unknown name or a value that does not fit.
    bool set(const QString& name, const QString& value, QString& error);

    QByteArray line_end_bytes() const;
};
