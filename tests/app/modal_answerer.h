#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

// Answers the next modal window that opens, from inside its own event loop, so that a test never
// hangs on a dialog or message box: it looks at the top modal window every few milliseconds and
// hands the first one that was not open before to the given action.
class modal_answerer
{
public:
    explicit modal_answerer(std::function<void(QWidget*)> action)
        : before(QApplication::activeModalWidget())
    {
        QObject::connect(&timer, &QTimer::timeout, [this, action] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == before)
                return;
            timer.stop();
            done = true;
            action(modal);
        });
        timer.start(10);
    }

    bool answered() const { return done; }

private:
    QPointer<QWidget> before;
    QTimer timer;
    bool done = false;
};

// The usual answer: OK on a message box, accept on a dialog.
inline void accept_modal(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        box->buttons().first()->click();
    else
        qobject_cast<QDialog*>(modal)->accept();
}
