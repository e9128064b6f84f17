#include "interrupt_signal.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipe_ends[2] = {-1, -1};

void on_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipe_ends[1], &byte, 1);
}

void set_action(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

interrupt_signal::interrupt_signal()
{
    if (::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier = new QSocketNotifier(pipe_ends[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &interrupt_signal::take);
    set_action(on_signal);
}

interrupt_signal::~interrupt_signal()
{
    set_action(SIG_DFL);
    delete notifier;
    for (int& end : pipe_ends) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

void interrupt_signal::take()
{
    char byte = 0;
    while (::read(pipe_ends[0], &byte, 1) == 1) {
    }
    set_action(SIG_DFL);
    emit raised();
}
