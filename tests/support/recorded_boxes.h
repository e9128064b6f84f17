#pragma once

#include "message_box.h"

#include <QList>
#include <QString>
#include <QStringList>

// While alive, every message box of the program is recorded instead of shown, so a test never
// blocks on a modal box and can check what the user would have seen. Each recorder keeps the boxes
// of its own life, so one test's boxes never show in another's; a recorder made while another is
// alive takes the boxes until it ends. Header only: the test links the program's widget library,
// which shows the boxes.
class recorded_boxes
{
public:
    struct box
    {
        message_box_kind kind;
        QString title;
        QString text;
    };

    recorded_boxes() : previous_handler(set_message_box_handler(&record)), previous_recorder(active)
    {
        active = this;
    }
    ~recorded_boxes()
    {
        set_message_box_handler(previous_handler);
        active = previous_recorder;
    }
    recorded_boxes(const recorded_boxes&) = delete;
    recorded_boxes& operator=(const recorded_boxes&) = delete;

    const QList<box>& seen() const { return boxes; }

    QStringList texts() const
    {
        QStringList list;
        for (const box& b : boxes)
            list << b.text;
        return list;
    }

private:
    // The handler is a plain function, so the recorder that takes the boxes is found here.
    static inline recorded_boxes* active = nullptr;

    static void record(message_box_kind kind, QWidget*, const QString& title, const QString& text)
    {
        active->boxes.append({kind, title, text});
    }

    QList<box> boxes;
    message_box_handler previous_handler;
    recorded_boxes* previous_recorder;
};
