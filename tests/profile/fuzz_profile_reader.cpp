// Feeds arbitrary documents to the profile reader and the simple-mode entries it finds to a value
// store, then checks what the pages rely on: at most three device-state columns, and write
// commands that name every value at its own position.

#include "parameter_value_store.h"
#include "position_entry.h"
#include "profile_reader.h"

#include <QDomDocument>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void ignore_messages(QtMsgType, const QMessageLogContext&, const QString&) {}

void register_entries(const QList<profile_page>& pages, parameter_value_store& store)
{
    for (const profile_page& page : pages) {
        require(page.commands.isEmpty());
        for (const profile_parameter& parameter : page.parameters) {
            for (const QString& list : {parameter.read, parameter.write}) {
                for (const QString& entry : split_entry_list(list)) {
                    store.add_spec_entry(entry, parameter.master);
                }
            }
        }
    }
}

// Edits every registered position, then checks that each command carries its values in place.
void check_write_commands(parameter_value_store& store)
{
    for (const command_values& record : store.records()) {
        for (const value_slot& slot : record.value_slots) {
            require(slot.index >= 1 && slot.index <= parameter_value_store::max_entry_position);
            store.mark_value_changed(record.key, slot.index, QString::number(slot.index));
        }
    }
    const QStringList commands =
        store.build_write_commands(QStringLiteral("d"), QStringLiteral("m"));
    require(commands.size() == store.records().size());
    for (int i = 0; i < commands.size(); ++i) {
        const command_values& record = store.records().at(i);
        const QString prefix = QStringLiteral("AT") + record.key + QLatin1Char('=');
        require(commands.at(i).startsWith(prefix) && commands.at(i).endsWith(QLatin1Char(',')));
        const QStringList fields = commands.at(i).mid(prefix.size()).split(QLatin1Char(','));
        const value_slot& last = record.value_slots.last();
        require(fields.size() == last.index + 2);
        for (const value_slot& slot : record.value_slots) {
            require(fields.at(slot.index) == QString::number(slot.index));
        }
    }
    require(store.build_read_commands().size() == store.records().size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(ignore_messages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QDomDocument document;
    QString error;
    if (!parse_profile(QByteArray(reinterpret_cast<const char*>(data), int(size)), document,
                       error)) {
        require(error.contains(QStringLiteral(" Line: ")));
        return 0;
    }
    for (const profile_page& page : mode_pages(document, false)) {
        require(page.parameters.isEmpty());
    }
    parameter_value_store store;
    register_entries(mode_pages(document, true), store);
    check_write_commands(store);

    const QList<profile_rawdata> rawdata = rawdata_layouts(document);
    const QList<profile_column> rows = state_columns_of(document);
    require(rows.size() <= device_state_columns);
    require(!rawdata.isEmpty() || rows.isEmpty());
    return 0;
}
