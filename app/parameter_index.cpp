#include "parameter_index.h"

#include "tab_xml_widget.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

QString folded(const QString& text)
{
    return text.toLower().replace(QChar(0x0451), QChar(0x0435)); // ё -> е
}

QStringList keys_of(const t_simple_parameter& parameter)
{
    QStringList keys;
    for (const auto* entries : {&parameter.entries.read, &parameter.entries.write}) {
        for (const position_entry& entry : *entries) {
            keys << entry.key;
        }
    }
    keys.removeDuplicates();
    return keys;
}

void index_expert_page(const t_page& page, QList<search_entry>& entries)
{
    for (const t_command& command : page.commands) {
        for (const t_parameter& parameter : command.parameters) {
            if (parameter.widget)
                entries.append({page.tab_index,
                                {page.name, command.description, parameter.description},
                                {command.command},
                                parameter.widget});
        }
    }
}

void index_simple_page(const t_page& page, QList<search_entry>& entries)
{
    for (const t_simple_parameter* parameter : page.parameters) {
        if (parameter->widget)
            entries.append({page.tab_index,
                            {page.name, parameter->group, parameter->description},
                            keys_of(*parameter),
                            parameter->widget});
    }
}

QString searched_text(const search_entry& entry)
{
    const field_place& place = entry.place;
    return folded(
        QStringList{place.label, place.group, place.page, entry.keys.join(' ')}.join(' '));
}

} // namespace

QList<search_entry> index_parameters(const tab_xml_widget& pages)
{
    QList<search_entry> entries;
    for (const t_page& page : pages.page_list) {
        if (page.is_simple)
            index_simple_page(page, entries);
        else
            index_expert_page(page, entries);
    }
    return entries;
}

QList<search_entry> find_parameters(const QList<search_entry>& entries, const QString& query)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = folded(query).split(blanks, Qt::SkipEmptyParts);
    QList<search_entry> matches;
    if (words.isEmpty())
        return matches;
    for (const search_entry& entry : entries) {
        const QString text = searched_text(entry);
        const bool all = std::all_of(words.begin(), words.end(),
                                     [&](const QString& word) { return text.contains(word); });
        if (all)
            matches.append(entry);
    }
    return matches;
}
