#pragma once

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QString>

#include <cstdio>
#include <functional>

// Standard output and standard error shared by every tracker's thread: whole lines only, each
// line of a tracker prefixed with its port when several trackers work at once, and a progress
// line on standard error that is redrawn in place when standard error is a terminal. Standard
// output is switched off at its first failed write (a full disk, a closed pipe).
class console
{
public:
    console(bool several_ports, bool progress_shown);
    console(const console&) = delete;
    console& operator=(const console&) = delete;

    // Lines that a person or a script reads, on standard output.
    void out(const QString& port, const QString& line);
    // Bytes as they are (a configuration file, a header); nothing is added.
    void out_raw(const QByteArray& bytes);
    // Messages and warnings, on standard error.
    void note(const QString& port, const QString& line);
    // Commands done of total in a phase ("reading"); only ever shown on a terminal.
    void progress(const QString& port, const QString& phase, int done, int total);
    void end_progress(const QString& port);

    // Is standard error a terminal the progress line can be redrawn on?
    static bool error_is_terminal();

    // The errno of the failed write to standard output; 0 while it works.
    int output_error() const;
    // Called on the writing thread, once, when standard output fails; it must not write here.
    std::function<void()> on_output_failure;

private:
    QString prefixed(const QString& port, const QString& line) const;
    void write(FILE* stream, const QByteArray& bytes);
    void draw_progress();
    void clear_progress();

    const bool prefix_ports;
    const bool show_progress;
    mutable QMutex mutex;
    int stdout_errno = 0;
    QMap<QString, QString> progress_by_port;
    bool progress_drawn = false;
};
