#pragma once

#include "link_events.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// A line to type raw tracker commands into, with the replies below it, for the installer who
// knows a command the pages do not offer. The window sends what it emits through its one command
// queue and hands back the replies to those commands. Up and Down recall earlier commands.
class command_console : public QWidget
{
    Q_OBJECT

public:
    enum class link_state
    {
        none,     // no link
        starting, // the link is being made
        up,       // the handshake is done: commands go out
        ending    // the link is being broken
    };

    explicit command_console(QWidget* parent = nullptr);

    // Commands can be typed only while the link is up; otherwise the reason is shown.
    void set_link_state(link_state state, bool bluetooth = false);
    // What became of a command typed here: the reply, or why none came.
    void show_outcome(const command_outcome& outcome);
    void focus_input();

signals:
    void command_entered(QString cmd);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void submit();
    QString unsafe_reason(const QString& cmd) const;
    void remember(const QString& cmd);
    void recall(int step);
    void print(const QString& text, bool error = false);

    QPlainTextEdit* output;
    QLabel* reason;
    QLineEdit* input;
    QPushButton* send_button;
    bool bluetooth = false;
    QStringList history; // oldest first
    int history_row = 0; // history.size() while no earlier command is shown
    QString draft;       // what was typed before the first Up
};
