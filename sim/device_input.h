#pragma once

#include <QByteArray>

// What one received byte amounts to.
struct input_event
{
    enum class kind
    {
        none,        // the byte was taken into the frame under way, or ignored
        echo_probe,  // "&" outside a frame in command mode: answer "&"
        keepalive,   // a 0x00 byte
        access_code, // a frame holding the access code
        command,     // a complete, non-empty command frame in command mode
        overlong,    // a frame longer than the device accepts, dropped whole
    };
    kind what = kind::none;
    QByteArray text; // the command of a command event
};

// The tracker's receiving side, byte by byte: frames end at CR (a frame begun with CR only
// starts after it), LF bytes are dropped, 0x00 is the keep-alive byte. In data mode only the
// access code frame means anything; in command mode every non-empty frame is a command and a
// lone "&" is the echo probe. The caller decides what the access code does to the mode.
class device_input
{
public:
    enum class mode
    {
        data,
        command,
    };

    // The longest frame kept; the configurator's own frames hold at most 1022 bytes.
    static constexpr int max_frame = 4096;

    device_input(const QByteArray& access_code, mode initial);

    input_event feed(char byte);

    mode current_mode() const { return state; }
    void set_mode(mode next);

private:
    input_event end_of_frame();

    QByteArray code;
    mode state;
    QByteArray frame;
    bool overflowed = false;
};
