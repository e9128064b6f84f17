#include "interrupt_signal.h"

#ifdef Q_OS_WIN

#include <QMetaObject>

#include <windows.h>

namespace {

interrupt_signal* instance = nullptr;

// Windows calls this on a thread of its own; the event loop takes over from there.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    SetConsoleCtrlHandler(on_console_event, FALSE);
    QMetaObject::invokeMethod(instance, "raised", Qt::QueuedConnection);
    return TRUE;
}

} // namespace

interrupt_signal::interrupt_signal()
{
    instance = this;
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

interrupt_signal::~interrupt_signal()
{
    SetConsoleCtrlHandler(on_console_event, FALSE);
    instance = nullptr;
}

void interrupt_signal::take()
{
    emit raised();
}

#else

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

#endif
