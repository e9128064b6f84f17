#include "program_restart.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

namespace {

restart_function installed_function = nullptr;

void restart_detached()
{
    QCoreApplication::quit();
    // The new instance gets the whole argument list, the program path included, as before.
    const QStringList args = QCoreApplication::arguments();
    QProcess::startDetached(args.first(), args);
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
