#pragma once

// Ends this run of the program and starts a new, detached one with the same arguments, so that
// the pages are built again in the new display mode. Tests install a function of their own.
void restart_program();
using restart_function = void (*)();
void set_restart_function(restart_function function); // nullptr restores the real restart
