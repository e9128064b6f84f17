#pragma once

#include <QtGlobal>

// Every pause and time-out of the tracker link, in one place. The defaults are the protocol's
// own: the tracker's firmware reads slowly, so output is paced byte by byte, and every wait is
// bounded so that the worker never hangs on a dead line.
struct link_timings
{
    // Paced output
    int byte_write_wait_ms = 10;
    qint64 byte_pause_us = 1500;

    // Command exchange and line input
    qint64 pause_before_frame_us = 10000;
    int frame_write_wait_ms = 1000;
    int first_data_wait_ms = 10;
    int silence_wait_ms = 100; // one unit of silence within a line

    // Handshake
    int echo_write_wait_ms = 100;
    qint64 pause_after_echo_us = 10000;
    int echo_wait_ms = 100;
    qint64 access_code_reply_pause_us = 100000;
    qint64 access_code_retry_us = 1000000; // after a refused attempt
    int closing_write_wait_ms = 1000;      // after the second refused attempt

    // The worker's loop
    int loop_wait_ms = 100;
    qint64 retry_us = 1000000; // after a failed open or a failed handshake
    int keep_alive_write_wait_ms = 1000;
    qint64 pause_after_closing_us = 10000;
};
