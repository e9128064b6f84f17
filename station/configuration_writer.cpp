#include "configuration_writer.h"

#include "parameter_value_store.h"
#include "tracker_commands.h"

#include "position_names.h"

namespace {

// "refused: PASSWORD", with the kind as the tracker named it.
QString refusal_text(const tracker_commands::reply& reply)
{
    return QStringLiteral("refused: ") + reply.value(2);
}

QString position_name(const configuration_difference& difference)
{
    return position_name(difference.key, difference.position);
}

QString value_of(const parameter_value_store& store, const QString& key, int position)
{
    const value_slot* slot = store.find(key, position);
    return slot ? slot->value : QString();
}

bool refused(const QString& reply)
{
    return tracker_commands::parse_reply(reply).refused != tracker_commands::refusal::none;
}

} // namespace

QString position_name(const QString& key, int position)
{
    return QStringLiteral("%1,#%2").arg(key).arg(position);
}

configuration_writer::configuration_writer(tracker_link& tracker, const value_rules& checks,
                                           const command_frame& sent_with, writer_feedback told)
    : link(tracker), rules(checks), frame(sent_with), feedback(std::move(told))
{
}

bool configuration_writer::read(parameter_value_store& store)
{
    const QStringList commands = store.build_read_commands();
    return execute(commands, &store, QStringLiteral("reading")).size() == commands.size();
}

configuration_comparison configuration_writer::compare(const parameter_value_store& store,
                                                       const tracker_configuration& configuration)
{
    const configuration_comparison comparison =
        compare_configuration(store, configuration, rules, frame);
    for (const QString& unknown : comparison.unknown) {
        feedback.note(QStringLiteral("not in the profile, skipped: ") + unknown);
    }
    return comparison;
}

write_result configuration_writer::write(parameter_value_store& store,
                                         const tracker_configuration& configuration)
{
    write_result result;
    result.differences = compare(store, configuration).differences;
    for (const configuration_difference& difference : qAsConst(result.differences)) {
        if (difference.applicable()) {
            result.written << difference;
        } else if (difference.writable) {
            result.unverified.insert(position_name(difference),
                                     QStringLiteral("refused: ") +
                                         refusal_reason(difference.refusal));
        } else {
            result.unverified.insert(position_name(difference),
                                     QStringLiteral("not writable, the tracker holds ") +
                                         quoted(difference.current));
        }
    }
    apply_differences(store, result.written);
    QStringList keys;
    QStringList writes;
    for (const command_values& record : store.records()) {
        const QString command =
            store.build_write_command(record, frame.device_password, frame.master_password);
        if (!command.isEmpty()) {
            keys << record.key;
            writes << command;
        }
    }
    if (!writes.isEmpty() &&
        (!write_and_save(keys, writes, result) || !read_back(keys, result.written, store))) {
        result.linked = false;
        return result;
    }
    verify(store, result);
    return result;
}

// The writes, then the save request. A refused write leaves its positions unverified; a refused
// save leaves every written position so.
bool configuration_writer::write_and_save(const QStringList& keys, const QStringList& writes,
                                          write_result& result)
{
    const QStringList replies =
        execute(writes + QStringList{tracker_commands::save(frame.device_password)}, nullptr,
                QStringLiteral("writing"));
    for (int i = 0; i < replies.size(); ++i) {
        const tracker_commands::reply reply = tracker_commands::parse_reply(replies.at(i));
        if (reply.refused == tracker_commands::refusal::none) {
            continue;
        }
        for (const configuration_difference& difference : qAsConst(result.written)) {
            if (i == writes.size() || difference.key == keys.at(i)) {
                result.unverified.insert(position_name(difference), refusal_text(reply));
            }
        }
    }
    if (replies.size() == writes.size() + 1) {
        return true;
    }
    name_unsaved(keys, replies, result);
    return false;
}

// A link that ends between the writes and the save's answer leaves values the tracker took but
// may lose at its next restart: those are named, so that the write can be repeated.
void configuration_writer::name_unsaved(const QStringList& keys, const QStringList& replies,
                                        write_result& result)
{
    for (int i = 0; i < replies.size() && i < keys.size(); ++i) {
        if (refused(replies.at(i))) {
            continue;
        }
        for (const configuration_difference& difference : qAsConst(result.written)) {
            if (difference.key == keys.at(i)) {
                result.unsaved << difference;
            }
        }
    }
}

// What the tracker holds afterwards must come from its answers, not from the values the store
// was given to write: a position it does not answer reads empty.
bool configuration_writer::read_back(const QStringList& keys,
                                     const QList<configuration_difference>& written,
                                     parameter_value_store& store)
{
    for (const configuration_difference& difference : written) {
        store.set_tracker_value(difference.key, difference.position, QString());
    }
    QStringList reads;
    for (const QString& key : keys) {
        reads << tracker_commands::read(key);
    }
    return execute(reads, &store, QStringLiteral("verifying")).size() == reads.size();
}

void configuration_writer::verify(const parameter_value_store& store, write_result& result)
{
    for (const configuration_difference& difference : qAsConst(result.written)) {
        const QString holds = value_of(store, difference.key, difference.position);
        if (!result.unverified.contains(position_name(difference)) && holds != difference.wanted) {
            result.unverified.insert(position_name(difference),
                                     QStringLiteral("wanted %1, the tracker holds %2")
                                         .arg(quoted(difference.wanted), quoted(holds)));
        }
    }
}

QStringList configuration_writer::execute(const QStringList& commands, parameter_value_store* store,
                                          const QString& phase)
{
    int done = 0;
    feedback.progress(phase, done, int(commands.size()));
    const QStringList replies = link.execute(commands, [&](const QString&, const QString& reply) {
        feedback.progress(phase, ++done, int(commands.size()));
        if (store) {
            take_reply(reply, store);
        }
    });
    feedback.end_progress();
    return replies;
}

// A refusal is no value: it is told and the store keeps what it had.
void configuration_writer::take_reply(const QString& line, parameter_value_store* store)
{
    const tracker_commands::reply reply = tracker_commands::parse_reply(line);
    if (reply.refused != tracker_commands::refusal::none) {
        feedback.note(reply.key + QLatin1Char(' ') + refusal_text(reply));
        return;
    }
    if (reply.carries_values()) {
        store->store_response_values(line);
    }
}
