#include "configuration_files.h"

#include "configuration_backups.h"
#include "configuration_dialog.h"
#include "file_dialog.h"
#include "message_box.h"
#include "page_configuration.h"
#include "settings_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString folder_purpose = QStringLiteral("ConfigurationFolder");
const QString file_filter = QStringLiteral("Конфигурации трекера (*.json);;Все файлы (*)");

void tell(QWidget* parent, const QString& text)
{
    show_message_box(message_box_kind::plain, parent, QString(), text);
}

} // namespace

QString save_pages_to_file(QWidget* parent, const tab_xml_widget& pages,
                           const QString& profile_name, const QString& identity)
{
    const QString suggested =
        QDir(remembered_folder(folder_purpose))
            .filePath(configuration_file_name(identity, QDateTime::currentDateTime()));
    const QString path =
        ask_file_name(file_dialog_kind::save, parent,
                      QStringLiteral("Сохранить конфигурацию в файл"), suggested, file_filter);
    if (path.isEmpty()) {
        return QString();
    }
    remember_folder(folder_purpose, path);
    QString error;
    if (!write_configuration_file(path, configuration_from_pages(pages, profile_name), &error)) {
        tell(parent, QStringLiteral("Конфигурация не сохранена.\n") + error);
        return QString();
    }
    return path;
}

bool load_file_into_pages(QWidget* parent, tab_xml_widget& pages)
{
    const QString path = ask_file_name(file_dialog_kind::open, parent,
                                       QStringLiteral("Загрузить конфигурацию из файла"),
                                       remembered_folder(folder_purpose), file_filter);
    if (path.isEmpty()) {
        return false;
    }
    remember_folder(folder_purpose, path);
    tracker_configuration configuration;
    QString error;
    if (!read_configuration_file(path, configuration, &error)) {
        tell(parent, QStringLiteral("Конфигурация не загружена.\n") + error);
        return false;
    }
    const page_comparison comparison = compare_with_pages(pages, configuration);
    if (comparison.rows.isEmpty() && comparison.read_only.isEmpty() &&
        comparison.refused.isEmpty() && comparison.unknown.isEmpty()) {
        show_message_box(message_box_kind::information, parent, QStringLiteral("Сообщение"),
                         QStringLiteral("Значения в файле совпадают с текущими"));
        return false;
    }
    configuration_dialog dialog(parent, QFileInfo(path).fileName(), comparison);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    apply_rows(pages, dialog.ticked_rows());
    return true;
}
