#pragma once

#include "tracker_configuration.h"
#include "value_check.h"

#include "profile_records.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

// How the tool names positions and values to people: the parameter's label beside the key and
// position, an option's text beside its code, and why a value is refused.
class position_names
{
public:
    explicit position_names(const QList<profile_page>& simple_pages);

    // +CALL,#1 "Входящие вызовы"
    QString place(const QString& key, int position) const;
    // "1" (Принимать); a value that is no option of the position is shown alone.
    QString value(const QString& key, int position, const QString& value) const;

private:
    parameter_labels labels;
    QHash<QPair<QString, int>, QList<profile_option>> options;
};

QString quoted(const QString& value);
// "contains a comma", "above the maximum 3600"
QString refusal_reason(const value_verdict& verdict);
// +APN,#1 "Точка доступа" = "inter,net" refused: contains a comma
QString refused_value_text(const refused_value& refused);
