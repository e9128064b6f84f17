#include "message_box.h"

#include <QMessageBox>

namespace {

void show_modal_box(message_box_kind kind, QWidget* parent, const QString& title,
                    const QString& text)
{
    switch (kind) {
    case message_box_kind::plain: {
        QMessageBox box(parent);
        box.setText(text);
        box.exec();
        break;
    }
    case message_box_kind::information:
        QMessageBox::information(parent, title, text);
        break;
    case message_box_kind::critical:
        QMessageBox::critical(parent, title, text);
        break;
    }
}

message_box_handler current_handler = show_modal_box;

} // namespace

void show_message_box(message_box_kind kind, QWidget* parent, const QString& title,
                      const QString& text)
{
    current_handler(kind, parent, title, text);
}

message_box_handler set_message_box_handler(message_box_handler handler)
{
    const message_box_handler previous = current_handler;
    current_handler = handler ? handler : show_modal_box;
    return previous;
}
