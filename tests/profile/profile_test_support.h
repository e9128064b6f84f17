#pragma once

#include "message_box.h"

#include <QString>
#include <QStringList>

// Shared by the page tests: data paths, and message boxes answered by recording their text.

inline QString profile_data(const char* name)
{
    return QStringLiteral(TC_TEST_DATA "/profile/") + QLatin1String(name);
}

// While alive, every box is recorded instead of shown.
class recorded_boxes
{
public:
    recorded_boxes() : previous(set_message_box_handler(&record)) { texts().clear(); }
    ~recorded_boxes() { set_message_box_handler(previous); }
    recorded_boxes(const recorded_boxes&) = delete;
    recorded_boxes& operator=(const recorded_boxes&) = delete;

    static QStringList& texts()
    {
        static QStringList list;
        return list;
    }

private:
    static void record(message_box_kind, QWidget*, const QString&, const QString& text)
    {
        texts().append(text);
    }

    message_box_handler previous;
};
