#pragma once

#include "message_box.h"

#include <QList>
#include <QString>

// While alive, every message box of the program is recorded instead of shown, so a test never
// blocks on a modal box and can check what the user would have seen. Header only: the test links
// the program's widget library, which shows the boxes.
class recorded_boxes
{
public:
    struct box
    {
        message_box_kind kind;
        QString title;
        QString text;
    };

    recorded_boxes() : previous(set_message_box_handler(&record)) { seen().clear(); }
    ~recorded_boxes() { set_message_box_handler(previous); }
    recorded_boxes(const recorded_boxes&) = delete;
    recorded_boxes& operator=(const recorded_boxes&) = delete;

    static QList<box>& seen()
    {
        static QList<box> list;
        return list;
    }

    static QStringList texts()
    {
        QStringList list;
        for (const box& b : seen())
            list << b.text;
        return list;
    }

private:
    static void record(message_box_kind kind, QWidget*, const QString& title, const QString& text)
    {
        seen().append({kind, title, text});
    }

    message_box_handler previous;
};
