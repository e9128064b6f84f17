#include "device_input.h"

namespace {

constexpr char cr = '\r';
constexpr char lf = '\n';
constexpr char keepalive_byte = '\0';
constexpr char echo_probe = '&';

} // namespace

device_input::device_input(const QByteArray& access_code, mode initial)
    : code(access_code), state(initial)
{
}

void device_input::set_mode(mode next)
{
    state = next;
    frame.clear();
    overflowed = false;
}

input_event device_input::feed(char byte)
{
    if (byte == keepalive_byte) {
        return {input_event::kind::keepalive, {}};
    }
    if (byte == cr) {
        return end_of_frame();
    }
    if (byte == lf) {
        return {};
    }
    if (byte == echo_probe && state == mode::command && frame.isEmpty() && !overflowed) {
        return {input_event::kind::echo_probe, {}};
    }
    if (frame.size() < max_frame) {
        frame.append(byte);
    } else {
        overflowed = true;
        frame.clear();
    }
    return {};
}

input_event device_input::end_of_frame()
{
    const QByteArray text = frame;
    const bool dropped = overflowed;
    frame.clear();
    overflowed = false;
    if (dropped) {
        return {input_event::kind::overlong, {}};
    }
    if (text == code) {
        return {input_event::kind::access_code, {}};
    }
    if (state == mode::command && !text.isEmpty()) {
        return {input_event::kind::command, text};
    }
    return {};
}
