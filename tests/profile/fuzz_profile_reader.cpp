// Feeds arbitrary documents to the profile reader and the simple-mode entries it finds to a value
// store, then checks what the pages rely on: at most three device-state columns, and write
// commands that name every value at its own position.

#include "parameter_value_store.h"
#include "profile_reader.h"
#include "simple_entries.h"

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

// Edits every registered position: each command with a position then carries its values in
// place, one position per value up to its last slot.
void check_write_commands(parameter_value_store& store)
{
    QStringList expected;
    for (const command_values& record : store.records()) {
        QStringList values;
        for (const value_slot& slot : record.value_slots) {
            require(slot.index >= 1 && slot.index <= parameter_value_store::max_entry_position);
            store.mark_value_changed(record.key, slot.index, QString::number(slot.index));
            while (values.size() < slot.index) {
                values << QString();
            }
            values[slot.index - 1] = QString::number(slot.index);
        }
        if (!values.isEmpty()) {
            expected << "AT" + record.key + (record.master ? "=m," : "=d,") + values.join(',') +
                            ',';
        }
    }
    require(store.build_write_commands("d", "m") == expected);
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
    const QList<profile_page> simple = mode_pages(document, true);
    parameter_value_store store;
    register_simple_pages(simple, store);
    for (const profile_page& page : simple) {
        require(page.commands.isEmpty());
    }
    check_write_commands(store);

    const QList<profile_rawdata> rawdata = rawdata_layouts(document);
    const QList<profile_column> rows = state_columns_of(document);
    require(rows.size() <= device_state_columns);
    require(!rawdata.isEmpty() || rows.isEmpty());
    return 0;
}
