#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal window that opens, from inside its own event loop, so that a test never
// hangs on a dialog or message box. It checks the top modal window every few milliseconds until one
// that the test did not see before appears, and hands it to the given action.
class modal_answerer : public QObject
{
    Q_OBJECT

public:
    explicit modal_answerer(std::function<void(QWidget*)> action)
        : action(std::move(action)), before(QApplication::activeModalWidget())
    {
        connect(&timer, &QTimer::timeout, this, &modal_answerer::check);
        timer.start(10);
    }

    bool answered() const { return done; }
    QString text() const { return seen_text; }
    QString title() const { return seen_title; }
    QMessageBox::Icon icon() const { return seen_icon; }

private:
    void check()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == before)
            return;
        timer.stop();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen_text = box->text();
            seen_title = box->windowTitle();
            seen_icon = box->icon();
        }
        done = true;
        action(modal);
    }

    std::function<void(QWidget*)> action;
    QPointer<QWidget> before;
    QTimer timer;
    bool done = false;
    QString seen_text;
    QString seen_title;
    QMessageBox::Icon seen_icon = QMessageBox::NoIcon;
};

// The usual answer: close whatever opened as if OK was pressed.
inline void accept_modal(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal); box && !box->buttons().isEmpty())
        box->buttons().first()->click();
    else if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->accept();
    else
        modal->close();
}
