#include "unwritten_edits_prompt.h"

#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace {

// Enough to recognise the changes, few enough for the box to fit a small screen.
constexpr int listed_changes = 10;

QString changes_text(const QList<unwritten_change>& changes)
{
    QStringList lines;
    for (int i = 0; i < changes.size() && i < listed_changes; ++i) {
        lines << change_text(changes.at(i));
    }
    if (changes.size() > listed_changes) {
        lines << QStringLiteral("…и ещё %1").arg(changes.size() - listed_changes);
    }
    return lines.join(QLatin1Char('\n'));
}

edits_answer ask_in_box(QWidget* parent, bool tracker_ready, edits_kind kind,
                        const QList<unwritten_change>& changes)
{
    const bool unwritten = kind == edits_kind::unwritten;
    QMessageBox box(QMessageBox::Question,
                    unwritten ? QStringLiteral("Изменения не записаны")
                              : QStringLiteral("Изменения не сохранены в памяти трекера"),
                    unwritten ? QStringLiteral("Есть изменённые параметры, которые не записаны в "
                                               "трекер.")
                              : QStringLiteral("Установленные значения не сохранены в памяти "
                                               "трекера: после перезапуска он их забудет."),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(changes_text(changes));
    const QString write_text = !unwritten ? QStringLiteral("Сохранить в память трекера")
                               : tracker_ready ? QStringLiteral("Записать в трекер")
                                               : QStringLiteral("Сохранить в файл...");
    QPushButton* write = box.addButton(write_text, QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.setDefaultButton(write);
    box.exec();
    if (box.clickedButton() == write) {
        return edits_answer::write;
    }
    return box.clickedButton() == discard ? edits_answer::discard : edits_answer::cancel;
}

unwritten_edits_handler current_handler = ask_in_box;

} // namespace

edits_answer ask_about_unwritten_edits(QWidget* parent, bool tracker_ready, edits_kind kind,
                                       const QList<unwritten_change>& changes)
{
    return current_handler(parent, tracker_ready, kind, changes);
}

unwritten_edits_handler set_unwritten_edits_handler(unwritten_edits_handler handler)
{
    const unwritten_edits_handler previous = current_handler;
    current_handler = handler ? handler : ask_in_box;
    return previous;
}
