#include "command_console.h"

#include "tracker_commands.h"
#include "wire_format.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

namespace tc = tracker_commands;

// Enough to scroll back through a long session without growing for ever.
const int kept_lines = 5000;

QString reason_text(command_console::link_state state)
{
    switch (state) {
    case command_console::link_state::none:
        return QStringLiteral("Нет связи с трекером: нажмите «Соедениться с трекером».");
    case command_console::link_state::starting:
        return QStringLiteral("Связь с трекером устанавливается...");
    case command_console::link_state::ending:
        return QStringLiteral("Связь с трекером разрывается...");
    case command_console::link_state::up:
        break;
    }
    return QString();
}

// A CR or LF would break the echo across lines; the Unicode control pictures show them in place.
QString with_visible_controls(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
    }
    return text;
}

} // namespace

command_console::command_console(QWidget* parent)
    : QWidget(parent), output(new QPlainTextEdit(this)), reason(new QLabel(this)),
      input(new QLineEdit(this)), send_button(new QPushButton(QStringLiteral("Отправить"), this))
{
    output->setReadOnly(true);
    output->setMaximumBlockCount(kept_lines);
    input->setPlaceholderText(QStringLiteral("Команда трекеру, например AT+VER=?"));
    input->installEventFilter(this);
    reason->setWordWrap(true);

    auto* line = new QHBoxLayout;
    line->addWidget(input);
    line->addWidget(send_button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output);
    layout->addWidget(reason);
    layout->addLayout(line);

    connect(input, &QLineEdit::returnPressed, this, &command_console::submit);
    connect(send_button, &QPushButton::clicked, this, &command_console::submit);
    set_link_state(link_state::none);
}

void command_console::set_link_state(link_state state, bool bt)
{
    const bool up = state == link_state::up;
    bluetooth = bt;
    input->setEnabled(up);
    send_button->setEnabled(up);
    reason->setText(reason_text(state));
    reason->setVisible(!up);
}

void command_console::show_outcome(const command_outcome& outcome)
{
    if (!outcome.answered()) {
        print(QStringLiteral("Нет ответа на %1: %2")
                  .arg(with_visible_controls(tc::masked(outcome.command)),
                       outcome.result == command_outcome::kind::dropped_on_loss
                           ? QStringLiteral("связь потеряна до отправки.")
                           : QStringLiteral("связь прервана.")),
              true);
        return;
    }
    const tc::refusal refused = tc::parse_reply(outcome.reply).refused;
    if (refused == tc::refusal::none)
        print(outcome.reply);
    else
        print(outcome.reply + QStringLiteral(" — ошибка: ") + tc::refusal_text(refused), true);
}

void command_console::focus_input()
{
    input->setFocus(Qt::ShortcutFocusReason);
}

bool command_console::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == input && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            recall(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void command_console::submit()
{
    const QString cmd = input->text().trimmed();
    if (cmd.isEmpty() || !input->isEnabled())
        return;
    remember(cmd);
    input->clear();
    print(QStringLiteral("> ") + with_visible_controls(tc::masked(cmd)));
    const QString unsafe = unsafe_reason(cmd);
    if (!unsafe.isEmpty()) {
        print(QStringLiteral("Не отправлена: ") + unsafe, true);
        return;
    }
    emit command_entered(cmd);
}

// The link would drop such a command; saying why here beats a bare "Command error..." in the log.
// The closing command would leave a tracker that answers nothing, and the link retrying it.
QString command_console::unsafe_reason(const QString& cmd) const
{
    if (tc::ends_command_mode(cmd))
        return QStringLiteral("эта команда выводит трекер из режима команд, и он перестаёт "
                              "отвечать. Чтобы закончить работу, нажмите «Разорвать связь»: "
                              "программа отправит её сама.");
    switch (wire::check_command(cmd.toUtf8(), bluetooth)) {
    case wire::command_check::too_long:
        return QStringLiteral("команда длиннее %1 байт.").arg(tc::max_command_bytes(bluetooth));
    case wire::command_check::control_bytes:
        return QStringLiteral("в команде есть управляющие символы (CR, LF или NUL).");
    case wire::command_check::ok:
        break;
    }
    return QString();
}

void command_console::remember(const QString& cmd)
{
    if (history.isEmpty() || history.last() != cmd)
        history.append(cmd);
    history_row = history.size();
}

void command_console::recall(int step)
{
    const int row = history_row + step;
    if (row < 0 || row > history.size())
        return;
    if (history_row == history.size())
        draft = input->text();
    history_row = row;
    input->setText(row == history.size() ? draft : history[row]);
}

void command_console::print(const QString& text, bool error)
{
    const QString escaped = text.toHtmlEscaped();
    output->appendHtml(
        error ? QStringLiteral("<span style=\"color:#b00020\">%1</span>").arg(escaped) : escaped);
}
