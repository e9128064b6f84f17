#pragma once

#include <QString>

class QWidget;

// Every message box of the program goes through show_message_box, so that tests can answer
// boxes through set_message_box_handler instead of running into a modal loop.

enum class message_box_kind
{
    plain,       // no title, text and OK only
    information, // titled, information icon
    critical     // titled, critical icon
};

using message_box_handler = void (*)(message_box_kind kind, QWidget* parent, const QString& title,
                                     const QString& text);

void show_message_box(message_box_kind kind, QWidget* parent, const QString& title,
                      const QString& text);

// Installs handler for every later box and returns the one it replaces; nullptr brings back the
// modal QMessageBox.
message_box_handler set_message_box_handler(message_box_handler handler);
