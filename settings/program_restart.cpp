#include "program_restart.h"

#include <QCoreApplication>
#include <QProcess>

namespace {

restart_function installed_function = nullptr;

void restart_detached()
{
    QCoreApplication::quit();
    const restart_command command = restart_command_for(QCoreApplication::arguments());
    QProcess::startDetached(command.program, command.arguments);
}

} // namespace

void restart_program()
{
    if (installed_function)
        installed_function();
    else
        restart_detached();
}

void set_restart_function(restart_function function)
{
    installed_function = function;
}

restart_command restart_command_for(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return {QCoreApplication::applicationFilePath(), arguments};
    return {arguments.first(), arguments};
}
