#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// One tracker served by the station: a row of the table "provisioning".
struct provisioning_row
{
    qint64 id = 0; // given by the database
    QString station;
    QDateTime started_at; // UTC
    QDateTime finished_at;
    QString port;
    QString identity;                // empty when the tracker was never read
    QByteArray configuration_sha256; // hex; empty when no configuration was chosen
    QString result;                  // "verified", "unverified", "failed", "skipped"
    int positions_written = 0;
    QString detail;
    QString tool_version;
};

// Where the records are: "sqlite:PATH" or "postgresql://user@host:port/database". A password
// never stands in the address (it would show in the process list and in messages): the
// PostgreSQL client takes it from ~/.pgpass or PGPASSWORD.
struct database_address
{
    QString driver; // "QSQLITE" or "QPSQL"
    QString path;   // SQLite's file, or PostgreSQL's database name
    QString host;
    int port = 0;
    QString user;

    // What messages show: the address without anything secret.
    QString shown() const;
};
bool parse_database_address(const QString& url, database_address& address, QString& error);

// The station's records through Qt SQL. Each call opens its own connection on the calling
// thread, so that the jobs of several ports, and several stations, write side by side.
class provisioning_records
{
public:
    explicit provisioning_records(const database_address& address);

    // Reaches the database and creates the table when it is missing.
    bool open(QString& error);
    // Is there a verified row for this identity and configuration?
    bool verified_before(const QString& identity, const QByteArray& sha256, bool& found,
                         QString& error) const;
    // Adds the row; its id is set on success.
    bool append(provisioning_row& row, QString& error) const;
    // The rows in the order they were added; the newest limit of them when limit > 0.
    bool rows(QList<provisioning_row>& rows, QString& error, int limit = 0) const;

    const database_address& address() const { return where; }

private:
    const database_address where;
};

// The rows as a CSV with a header, or as one JSON object per line.
QByteArray rows_csv(const QList<provisioning_row>& rows);
QByteArray rows_jsonl(const QList<provisioning_row>& rows);
