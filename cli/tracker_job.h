#pragma once

#include "cli_options.h"
#include "configuration_writer.h"
#include "position_names.h"
#include "run_report.h"
#include "tracker_configuration.h"
#include "tracker_link.h"

#include "profile_records.h"

#include <QList>
#include <QMap>
#include <QString>

#include <mutex>

class console;
class device_state_view;
class parameter_value_store;

// Exit statuses; with several trackers the tool exits with the worst.
enum exit_status
{
    exit_ok = 0,
    exit_differences = 1, // diff found some, or write could not verify every value
    exit_usage = 2,       // usage, profile or configuration file error: nothing was sent
    exit_link_error = 3
};

// What every tracker's job shares, all read before the first port is opened.
struct job_context
{
    cli_options options;
    QString profile_name;
    QList<profile_page> simple_pages;
    QList<profile_rawdata> layouts;
    QList<profile_column> columns;
    tracker_configuration file; // diff, write and set; limited to --only
    value_rules rules;          // diff, write and set: of the simple pages
    command_frame frame;        // diff, write and set: what set commands go out with
    console* out = nullptr;
    run_report* report = nullptr;
    std::once_flag* csv_header = nullptr; // one header for every tracker's rows
};

// The commands of the simple pages, or those of --only (and of set), into a store.
void register_commands(const job_context& context, parameter_value_store& store);

// One command on one tracker, run on a thread of its own over its own link.
class tracker_job
{
public:
    tracker_job(const job_context& context, const QString& port, tracker_link& link);
    int run();

private:
    int run_send();
    int run_read();
    int run_diff();
    int run_write();
    int run_watch();

    // Steps the commands share
    bool open_link();
    bool read_store(parameter_value_store& store);
    void tell_unsaved(const write_result& result);
    int link_error();
    int finish(int status, const QString& result);
    void print_difference(const configuration_difference& difference);
    QByteArray read_sha256(const parameter_value_store& store) const;
    void print_state(const device_state_view& view);

    const job_context& context;
    const QString port;
    tracker_link& link;
    const position_names names;
    configuration_writer writer;
    report_entry entry;
};
