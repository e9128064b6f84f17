#pragma once

#include "link_session.h"

#include <QWidget>

class QLabel;
class QProgressBar;

// The link's state, always in view at the right of the status bar: what the link is doing, and
// how far a read or a write has come. The status texts of the link still go to the log.
class link_indicator : public QWidget
{
    Q_OBJECT

public:
    explicit link_indicator(QWidget* parent = nullptr);

    void show_state(link_session::state state, link_session::progress reads,
                    link_session::progress writes);

    // What the indicator says; progress.total is 0 when no bar is shown.
    struct view
    {
        QString text;
        link_session::progress progress;
    };
    static view view_of(link_session::state state, link_session::progress reads,
                        link_session::progress writes);

private:
    QLabel* label;
    QProgressBar* bar;
};
