#include "provisioning_records.h"

#include <QAtomicInteger>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace {

const QString sqlite_table = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS provisioning ("
    "id INTEGER PRIMARY KEY AUTOINCREMENT, station TEXT NOT NULL, started_at TEXT NOT NULL, "
    "finished_at TEXT NOT NULL, port TEXT NOT NULL, identity TEXT NOT NULL, "
    "configuration_sha256 TEXT NOT NULL, result TEXT NOT NULL, positions_written INTEGER NOT "
    "NULL, detail TEXT NOT NULL, tool_version TEXT NOT NULL)");
const QString postgresql_table = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS provisioning ("
    "id BIGSERIAL PRIMARY KEY, station TEXT NOT NULL, started_at TEXT NOT NULL, "
    "finished_at TEXT NOT NULL, port TEXT NOT NULL, identity TEXT NOT NULL, "
    "configuration_sha256 TEXT NOT NULL, result TEXT NOT NULL, positions_written INTEGER NOT "
    "NULL, detail TEXT NOT NULL, tool_version TEXT NOT NULL)");
const QString columns = QStringLiteral(
    "station, started_at, finished_at, port, identity, configuration_sha256, result, "
    "positions_written, detail, tool_version");

QString utc_text(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// A connection of its own for one call on the calling thread: Qt's connections may not cross
// threads, and a station's ports write from threads of their own.
class connection
{
public:
    explicit connection(const database_address& address)
    {
        static QAtomicInteger<quint64> serial;
        name = QStringLiteral("provisioning-%1").arg(serial.fetchAndAddRelaxed(1));
        QSqlDatabase database = QSqlDatabase::addDatabase(address.driver, name);
        database.setDatabaseName(address.path);
        if (address.driver == QLatin1String("QPSQL")) {
            database.setHostName(address.host);
            database.setPort(address.port);
            database.setUserName(address.user);
            // A server that stops answering ends the call instead of holding a job for ever.
            database.setConnectOptions(
                QStringLiteral("connect_timeout=10;options='-c statement_timeout=10000'"));
        } else {
            // Several stations may share one file: a writer waits for another's lock.
            database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
    }
    ~connection()
    {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;

    bool open(const database_address& address, QString& error)
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        if (!database.isValid()) {
            error = QStringLiteral("no Qt SQL driver %1 (install its package)").arg(address.driver);
            return false;
        }
        if (!database.open()) {
            error = address.shown() + QStringLiteral(": ") + database.lastError().text();
            return false;
        }
        return true;
    }
    QSqlQuery query() const { return QSqlQuery(QSqlDatabase::database(name, false)); }

private:
    QString name;
};

// A prepared statement, or the statement given (the PostgreSQL driver prepares no DDL).
bool run(QSqlQuery& query, const database_address& address, QString& error,
         const QString& statement = QString())
{
    if (statement.isEmpty() ? query.exec() : query.exec(statement)) {
        return true;
    }
    error = address.shown() + QStringLiteral(": ") + query.lastError().text();
    return false;
}

QJsonObject row_object(const provisioning_row& row)
{
    return {{QStringLiteral("id"), row.id},
            {QStringLiteral("station"), row.station},
            {QStringLiteral("started_at"), utc_text(row.started_at)},
            {QStringLiteral("finished_at"), utc_text(row.finished_at)},
            {QStringLiteral("port"), row.port},
            {QStringLiteral("identity"), row.identity},
            {QStringLiteral("configuration_sha256"), QString::fromLatin1(row.configuration_sha256)},
            {QStringLiteral("result"), row.result},
            {QStringLiteral("positions_written"), row.positions_written},
            {QStringLiteral("detail"), row.detail},
            {QStringLiteral("tool_version"), row.tool_version}};
}

QString csv_field(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    QString escaped = text;
    return QLatin1Char('"') + escaped.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

QString database_address::shown() const
{
    if (driver == QLatin1String("QSQLITE")) {
        return QStringLiteral("sqlite:") + path;
    }
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host).arg(port).arg(path);
}

bool parse_database_address(const QString& url, database_address& address, QString& error)
{
    if (url.startsWith(QLatin1String("sqlite:"))) {
        address = {QStringLiteral("QSQLITE"), url.mid(7), {}, 0, {}};
        if (address.path.isEmpty()) {
            error = QStringLiteral("sqlite: needs a file: sqlite:PATH");
            return false;
        }
        return true;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() ||
        (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))) {
        error = QStringLiteral("not a database address (sqlite:PATH or "
                               "postgresql://user@host:port/database)");
        return false;
    }
    if (!parsed.password().isEmpty()) {
        // Said without the address: it holds the secret.
        error = QStringLiteral("a password in the database address would show in the process "
                               "list; keep it in ~/.pgpass or PGPASSWORD");
        return false;
    }
    address = {QStringLiteral("QPSQL"), parsed.path().mid(1),
               parsed.host().isEmpty() ? QStringLiteral("localhost") : parsed.host(),
               parsed.port(5432), parsed.userName()};
    if (address.path.isEmpty()) {
        error = QStringLiteral("%1: no database named").arg(address.shown());
        return false;
    }
    return true;
}

provisioning_records::provisioning_records(const database_address& address) : where(address) {}

bool provisioning_records::open(QString& error)
{
    connection link(where);
    if (!link.open(where, error)) {
        return false;
    }
    QSqlQuery create = link.query();
    if (run(create, where, error,
            where.driver == QLatin1String("QPSQL") ? postgresql_table : sqlite_table)) {
        return true;
    }
    // Two stations that start together may both find the table missing: the one that loses the
    // race finds it there now.
    QSqlQuery probe = link.query();
    return run(probe, where, error, QStringLiteral("SELECT COUNT(*) FROM provisioning"));
}

bool provisioning_records::verified_before(const QString& identity, const QByteArray& sha256,
                                           bool& found, QString& error) const
{
    connection link(where);
    if (!link.open(where, error)) {
        return false;
    }
    QSqlQuery query = link.query();
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM provisioning WHERE identity = ? AND "
                                 "configuration_sha256 = ? AND result = 'verified'"));
    query.addBindValue(identity);
    query.addBindValue(QString::fromLatin1(sha256));
    if (!run(query, where, error)) {
        return false;
    }
    found = query.next() && query.value(0).toLongLong() > 0;
    return true;
}

bool provisioning_records::append(provisioning_row& row, QString& error) const
{
    connection link(where);
    if (!link.open(where, error)) {
        return false;
    }
    QSqlQuery query = link.query();
    const bool postgresql = where.driver == QLatin1String("QPSQL");
    query.prepare(QStringLiteral("INSERT INTO provisioning (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                 "?)%2")
                      .arg(columns, postgresql ? QStringLiteral(" RETURNING id") : QString()));
    // An empty text is stored as one, never as NULL, so that queries compare it plainly.
    for (const QString& text :
         {row.station, utc_text(row.started_at), utc_text(row.finished_at), row.port, row.identity,
          QString::fromLatin1(row.configuration_sha256), row.result}) {
        query.addBindValue(text.isNull() ? QStringLiteral("") : text);
    }
    query.addBindValue(row.positions_written);
    for (const QString& text : {row.detail, row.tool_version}) {
        query.addBindValue(text.isNull() ? QStringLiteral("") : text);
    }
    if (!run(query, where, error)) {
        return false;
    }
    row.id = postgresql && query.next() ? query.value(0).toLongLong()
                                        : query.lastInsertId().toLongLong();
    return true;
}

bool provisioning_records::rows(QList<provisioning_row>& rows, QString& error, int limit) const
{
    connection link(where);
    if (!link.open(where, error)) {
        return false;
    }
    QSqlQuery query = link.query();
    const QString select = QStringLiteral("SELECT id, %1 FROM provisioning").arg(columns);
    query.prepare(limit > 0 ? QStringLiteral("SELECT * FROM (%1 ORDER BY id DESC LIMIT %2) AS "
                                             "newest ORDER BY id")
                                  .arg(select)
                                  .arg(limit)
                            : select + QStringLiteral(" ORDER BY id"));
    if (!run(query, where, error)) {
        return false;
    }
    rows.clear();
    while (query.next()) {
        provisioning_row row;
        row.id = query.value(0).toLongLong();
        row.station = query.value(1).toString();
        row.started_at = QDateTime::fromString(query.value(2).toString(), Qt::ISODateWithMs);
        row.finished_at = QDateTime::fromString(query.value(3).toString(), Qt::ISODateWithMs);
        row.port = query.value(4).toString();
        row.identity = query.value(5).toString();
        row.configuration_sha256 = query.value(6).toString().toLatin1();
        row.result = query.value(7).toString();
        row.positions_written = query.value(8).toInt();
        row.detail = query.value(9).toString();
        row.tool_version = query.value(10).toString();
        rows << row;
    }
    return true;
}

QByteArray rows_csv(const QList<provisioning_row>& rows)
{
    QByteArray out = "id," + columns.toUtf8().replace(" ", "") + '\n';
    for (const provisioning_row& row : rows) {
        const QJsonObject object = row_object(row);
        QStringList fields{QString::number(row.id)};
        for (const QString& column : columns.split(QStringLiteral(", "))) {
            fields << csv_field(object.value(column).toVariant().toString());
        }
        out += fields.join(QLatin1Char(',')).toUtf8() + '\n';
    }
    return out;
}

QByteArray rows_jsonl(const QList<provisioning_row>& rows)
{
    QByteArray out;
    for (const provisioning_row& row : rows) {
        out += QJsonDocument(row_object(row)).toJson(QJsonDocument::Compact) + '\n';
    }
    return out;
}
