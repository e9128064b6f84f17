#pragma once

#include <QString>
#include <QStringList>

// Ends this run of the program and starts a new, detached one with the same arguments, so that
// the pages are built again in the new display mode. Tests install a function of their own.
void restart_program();
using restart_function = void (*)();
void set_restart_function(restart_function function); // nullptr restores the real restart

// What the new instance is started with: the program path is the first argument, and the whole
// argument list goes along. A process may be started with no arguments at all; then the
// program's own path stands in for the first one.
struct restart_command
{
    QString program;
    QStringList arguments;
};
restart_command restart_command_for(const QStringList& arguments);
