#include "file_dialog.h"

#include <QFileDialog>

namespace {

QString show_modal_dialog(file_dialog_kind kind, QWidget* parent, const QString& caption,
                          const QString& folder, const QString& filter)
{
    if (kind == file_dialog_kind::open) {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
    }
    return QFileDialog::getSaveFileName(parent, caption, folder, filter);
}

file_dialog_handler current_handler = show_modal_dialog;

} // namespace

QString ask_file_name(file_dialog_kind kind, QWidget* parent, const QString& caption,
                      const QString& folder, const QString& filter)
{
    return current_handler(kind, parent, caption, folder, filter);
}

file_dialog_handler set_file_dialog_handler(file_dialog_handler handler)
{
    const file_dialog_handler previous = current_handler;
    current_handler = handler ? handler : show_modal_dialog;
    return previous;
}
