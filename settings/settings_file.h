#pragma once

#include "t_settings.h"

#include <QByteArray>
#include <QString>

// Reading and writing the INI configuration file. Kept apart from MainWindow so that it can be
// tested without a window.

// The configuration file, relative to the working directory of the process.
QString settings_file_path();

// Missing file, missing keys and unreadable values give the defaults of t_settings.
t_settings read_settings(const QString& path);

// Writes every key but "XML/Path" and syncs at once. The file holds the passwords in plain text,
// so it is created, and kept, readable and writable by its owner only. False, with the reason in
// error, when the file could not be written: nothing that relies on the new settings, such as a
// restart into another display mode, may follow.
bool write_settings(const QString& path, const t_settings& settings, QString* error = nullptr);

// The main window's size, position and dock layout, as Qt saves them, in a group of the file of
// our own ("Window"): the keys above are untouched. Empty when none was kept.
struct window_layout
{
    QByteArray geometry;
    QByteArray state;
};
window_layout read_window_layout(const QString& path);
// A layout that cannot be kept is no loss worth a word: false, and nothing else.
bool write_window_layout(const QString& path, const window_layout& layout);

// The folder a file dialog of the given purpose opened last ("Files/<purpose>", for example
// "ConfigurationFolder"); the working directory when none was kept.
QString remembered_folder(const QString& purpose);
void remember_folder(const QString& purpose, const QString& chosen_file);

// What a form of the window was last started with ("Choices/<key>", for example
// "Station/Database"); fallback when nothing was kept. Never a password: none is kept here.
QString remembered_choice(const QString& key, const QString& fallback);
void remember_choice(const QString& key, const QString& value);
