#pragma once

#include <QString>

class QWidget;

// Every file dialog of the program goes through ask_file_name, so that tests can give the name
// through set_file_dialog_handler instead of running into a modal dialog.

enum class file_dialog_kind
{
    open, // an existing file
    save  // a new file, or one to replace after the user has confirmed it
};

// folder: where the dialog starts, or a suggested file name with its folder. filter: as
// QFileDialog takes it. Returns the chosen path, empty when the user cancelled.
using file_dialog_handler = QString (*)(file_dialog_kind kind, QWidget* parent,
                                        const QString& caption, const QString& folder,
                                        const QString& filter);

QString ask_file_name(file_dialog_kind kind, QWidget* parent, const QString& caption,
                      const QString& folder, const QString& filter);

// Installs handler for every later dialog and returns the one it replaces; nullptr brings back
// the modal QFileDialog.
file_dialog_handler set_file_dialog_handler(file_dialog_handler handler);
