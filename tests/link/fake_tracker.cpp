#include "fake_tracker.h"

#include <algorithm>
#include <limits>
#include <utility>

qint64 fake_tracker::readData(char* data, qint64 max_size)
{
    const int size = int(std::min<qint64>(max_size, arrived.size()));
    std::copy_n(arrived.constData(), size, data);
    arrived.remove(0, size);
    return size;
}

qint64 fake_tracker::writeData(const char* data, qint64 size)
{
    std::for_each(data, data + size, [this](char byte) { take(byte); });
    return size;
}

void fake_tracker::take(char byte)
{
    received.append(byte);
    received_at.append(now);
    QByteArray whole;
    if (byte == '&' && frame.isEmpty() && command_mode) {
        send({{0, "&"}});
        whole = "&";
    } else if (byte == '\r') {
        whole = std::exchange(frame, {});
        react(whole);
    } else {
        frame.append(byte);
        return;
    }
    if (on_frame) {
        on_frame(whole);
    }
}

void fake_tracker::react(const QByteArray& command)
{
    if (!command_mode) {
        if (command == access_code && codes_refused++ >= refusals) {
            command_mode = true;
            send({{prompt_delay_us, ">"}});
        }
    } else if (command == closing_command) {
        command_mode = false;
    } else if (!replies.value(command).isEmpty()) {
        QList<reply>& answers = replies[command];
        send(answers.size() > 1 ? answers.takeFirst() : answers.first());
    }
}

void fake_tracker::send(const reply& pieces)
{
    qint64 time = now;
    for (const auto& [delay_us, bytes] : pieces) {
        time += delay_us;
        pending.emplace(time, bytes);
    }
}

bool fake_tracker::run_until(qint64 time_us, bool take_input)
{
    constexpr qint64 never = std::numeric_limits<qint64>::max();
    for (;;) {
        const qint64 input_at = pending.empty() ? never : pending.begin()->first;
        const qint64 action_at = actions.empty() ? never : actions.begin()->first;
        if (take_input && input_at <= std::min(action_at, time_us)) {
            now = std::max(now, input_at);
            for (auto it = pending.begin(); it != pending.end() && it->first <= now;) {
                arrived += it->second;
                it = pending.erase(it);
            }
            return true;
        }
        if (action_at > time_us) {
            now = std::max(now, time_us);
            return false;
        }
        now = std::max(now, action_at);
        const std::function<void()> action = actions.begin()->second;
        actions.erase(actions.begin());
        action();
    }
}
