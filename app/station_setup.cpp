#include "station_setup.h"

#include "profile_reader.h"

#include <QFileInfo>

namespace {

const QString verified_result = QStringLiteral("verified");
const QString unverified_result = QStringLiteral("unverified");
const QString skipped_result = QStringLiteral("skipped");

bool read_csv(const QString& path, provisioning_plan& plan, QStringList& problems)
{
    QString error;
    if (!read_unit_file(path, plan, error)) {
        problems << QStringLiteral("Значения трекеров не прочитаны: ") + error;
        return false;
    }
    return true;
}

void take_identity(const QString& text, provisioning_plan& plan, QStringList& problems)
{
    switch (choose_identity(text, plan)) {
    case identity_choice::taken:
        return;
    case identity_choice::not_marked:
        problems << QStringLiteral("Профиль не отмечает позицию, по которой трекеры "
                                   "различаются: укажите её, например +IMEI#1");
        return;
    case identity_choice::malformed:
        problems << QStringLiteral("Позиция идентификатора «%1» не в виде +IMEI#1").arg(text);
        return;
    case identity_choice::not_read:
        problems << QStringLiteral("Профиль не читает позицию идентификатора %1").arg(text);
        return;
    }
}

} // namespace

// Every problem is said at once, so that the installer mends them in one go; the values are
// checked only when the files were read, as a refusal of half a plan would mislead.
bool plan_from_choices(const station_choices& choices, provisioning_plan& plan,
                       QStringList& problems)
{
    QString error;
    if (!read_mode_pages(choices.profile_path, true, plan.simple_pages, error)) {
        problems << QStringLiteral("Профиль не прочитан: ") + error;
        return false;
    }
    plan.profile_name = QFileInfo(choices.profile_path).fileName();
    plan.rules = value_rules::of_simple_pages(plan.simple_pages);
    plan.frame = choices.frame;
    bool read = !choices.configuration_path.isEmpty() &&
                read_configuration_file(choices.configuration_path, plan.file, &error);
    if (choices.configuration_path.isEmpty())
        problems << QStringLiteral("Выберите файл конфигурации");
    else if (!read)
        problems << QStringLiteral("Конфигурация не прочитана: ") + error;
    if (!choices.csv_path.isEmpty())
        read = read_csv(choices.csv_path, plan, problems) && read;
    take_identity(choices.identity_text, plan, problems);
    if (read)
        problems << refused_in_plan(plan);
    return problems.isEmpty();
}

QString position_text(const identity_position& position)
{
    return position.key.isEmpty()
               ? QString()
               : QStringLiteral("%1#%2").arg(position.key).arg(position.position);
}

QString progress_text(const port_progress& port)
{
    switch (port.phase) {
    case station_phase::waiting:
        return QStringLiteral("ожидание трекера");
    case station_phase::connecting:
        return QStringLiteral("подключение");
    case station_phase::reading:
        return QStringLiteral("чтение");
    case station_phase::writing:
        return QStringLiteral("запись");
    case station_phase::verifying:
        return QStringLiteral("проверка");
    case station_phase::finished:
        return result_text(port.result, port.detail);
    case station_phase::stopped:
        return QStringLiteral("остановлен");
    }
    return QString();
}

QString result_text(const QString& result, const QString& detail)
{
    if (result == verified_result)
        return QStringLiteral("готово");
    if (result == skipped_result)
        return QStringLiteral("пропущен");
    const QString text = result == unverified_result ? QStringLiteral("ошибка: не подтверждено")
                                                     : QStringLiteral("ошибка");
    return detail.isEmpty() ? text : text + QStringLiteral(": ") + detail;
}

void station_counts::add(const QString& result)
{
    if (result == verified_result)
        ++done;
    else if (result == skipped_result)
        ++skipped;
    else
        ++failed;
}

QString station_counts::text() const
{
    return QStringLiteral("Готово: %1   Ошибок: %2   Пропущено: %3")
        .arg(done)
        .arg(failed)
        .arg(skipped);
}
