#pragma once

#include "tracker_configuration.h"
#include "tracker_link.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class parameter_value_store;

// What a writer tells while it works on one tracker.
struct writer_feedback
{
    // Commands done of total in a phase: "reading", "writing", "verifying".
    std::function<void(const QString& phase, int done, int total)> progress;
    std::function<void()> end_progress;
    // A remark on the tracker: a refusal, a position the profile does not know.
    std::function<void(const QString& text)> note;
};

// What a write left on the tracker.
struct write_result
{
    bool linked = true; // false: the link broke on the way (the link's error() says why)
    QList<configuration_difference> differences; // every one, applicable or not
    QList<configuration_difference> written;     // those sent
    QMap<QString, QString> unverified;           // by position name ("+KEY,#N"): why
    // Set but not saved: the link broke between the writes and the save's answer.
    QList<configuration_difference> unsaved;

    int verified() const { return int(differences.size() - unverified.size()); }
};

// "+KEY,#N", as reports and records name a position.
QString position_name(const QString& key, int position);

// Reads a tracker's values into a store and puts a configuration on it: only the positions that
// differ are written, then saved, read back and compared. The tool's write and set and the
// station's jobs all go this way.
class configuration_writer
{
public:
    configuration_writer(tracker_link& link, const value_rules& rules, const command_frame& frame,
                         writer_feedback feedback);

    // Reads every command registered in the store; false when the link broke.
    bool read(parameter_value_store& store);
    // The configuration against what was read; what the profile does not know is noted.
    configuration_comparison compare(const parameter_value_store& store,
                                     const tracker_configuration& configuration);
    // store holds what was read; afterwards it holds what the tracker answered on reading back.
    write_result write(parameter_value_store& store, const tracker_configuration& configuration);
    // Executes the commands with the phase's progress told; replies go into the store when one
    // is given. Fewer replies than commands: the link broke.
    QStringList execute(const QStringList& commands, parameter_value_store* store,
                        const QString& phase);

private:
    bool write_and_save(const QStringList& keys, const QStringList& writes, write_result& result);
    void name_unsaved(const QStringList& keys, const QStringList& replies, write_result& result);
    bool read_back(const QStringList& keys, const QList<configuration_difference>& written,
                   parameter_value_store& store);
    void verify(const parameter_value_store& store, write_result& result);
    void take_reply(const QString& reply, parameter_value_store* store);

    tracker_link& link;
    const value_rules& rules;
    const command_frame frame;
    const writer_feedback feedback;
};
