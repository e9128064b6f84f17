// The life of a link seen from the window: the live device state, the worker giving up, closing
// the window during a link, and a tracker unplugged and plugged in again.

#include "mainwindow.h"
#include "t_feedback_button.h"
#include "tab_xml_widget.h"
#include "tracker_session.h"

#include <QComboBox>
#include <QCommandLinkButton>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

namespace {

const int wait_ms = 20000;

int device_state_tab(tab_xml_widget& pages)
{
    return pages.page_list.size() - 1;
}

// The texts of the device-state page by field name.
QMap<QString, QString> shown_values(tab_xml_widget& pages)
{
    QMap<QString, QString> values;
    for (const t_display_field& d : pages.display_fields) {
        if (auto* box = qobject_cast<QComboBox*>(d.widget))
            values.insert(d.field, box->currentText());
        else
            values.insert(d.field, qobject_cast<QLineEdit*>(d.widget)->text());
    }
    return values;
}

bool matches(const QString& pattern, const QString& text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

} // namespace

class test_e2e_link : public QObject
{
    Q_OBJECT

private slots:
    void device_state_page_shows_the_stream_data();
    void device_state_page_shows_the_stream();
    void unknown_record_changes_nothing();
    void worker_giving_up_returns_to_idle();
    void closing_the_window_ends_the_link_first();
    void unplug_and_replug_recovers_by_itself();
};

void test_e2e_link::device_state_page_shows_the_stream_data()
{
    QTest::addColumn<bool>("simple_mode");
    QTest::newRow("expert") << false;
    QTest::newRow("simple") << true;
}

void test_e2e_link::device_state_page_shows_the_stream()
{
    QFETCH(bool, simple_mode);
    tracker_session s;
    tracker_session::options o;
    o.simple_mode = simple_mode;
    o.sim_options = QStringList{"--stream-interval", "100"};
    QVERIFY2(s.start(o), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, simple_mode ? 6 : 2).size();
    for (const QString& text : shown_values(pages))
        QVERIFY(text == QStringLiteral("Значение") || text.isEmpty());

    pages.tab_widget->setCurrentIndex(device_state_tab(pages));
    QCOMPARE(s.wait_for_commands(seen, 1), QStringList({"AT+SDAD=7395,,3,,,,,"}));
    QVERIFY(s.tracker().wait_for_event("stream on"));
    // Both record layouts have arrived once every field shows a value.
    QTRY_VERIFY_WITH_TIMEOUT(matches(R"(\d{15})", shown_values(pages)["imei"]) &&
                                 matches(R"( ?\d{1,3}\.\d{8})", shown_values(pages)["lat"]),
                             wait_ms);

    const QMap<QString, QString> v = shown_values(pages);
    QVERIFY2(matches(R"( ?\d{1,3}\.\d{8})", v["lon"]), qPrintable(v["lon"]));
    QVERIFY2(v["lat"].size() >= 11 && v["lon"].size() >= 11, qPrintable(v["lat"] + v["lon"]));
    QVERIFY2(matches(R"(\d+(\.\d+)?)", v["speed"]), qPrintable(v["speed"]));
    QVERIFY2(matches(R"(\d+)", v["sats"]), qPrintable(v["sats"]));
    QVERIFY2(QStringList({QStringLiteral("Стоянка"), QStringLiteral("Движение"),
                          QStringLiteral("Неизвестно")})
                 .contains(v["status"]),
             qPrintable(v["status"]));
    const double volts = v["voltage"].toDouble();
    QVERIFY2(volts >= 6 && volts <= 36, qPrintable(v["voltage"]));
    QVERIFY2(matches("[01]+", v["inputs"]), qPrintable(v["inputs"]));
    QVERIFY2(matches("[01]+", v["outputs"]), qPrintable(v["outputs"]));
    QVERIFY2(matches("[0-9A-F]{8}", v["flags"]), qPrintable(v["flags"]));
    QCOMPARE(v["absent"], QStringLiteral("Нет данных"));

    // Leaving the page switches the stream off.
    pages.tab_widget->setCurrentIndex(0);
    QVERIFY(s.tracker().wait_for_event("stream off"));
    QVERIFY(s.tracker().transcript().commands().contains("AT+SDAD=7395,,0,,,,,"));
}

void test_e2e_link::unknown_record_changes_nothing()
{
    tracker_session s;
    QVERIFY2(s.start({}), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    s.wait_for_commands(0, 2);

    // A record of layout 1 (lat, lon, speed, sats, status), sent by hand while nothing streams.
    const QByteArray nav = QByteArray::fromHex("00000040"
                                               "00000020"
                                               "e803"
                                               "07"
                                               "01");
    QVERIFY(s.tracker().control("send $SD,1," + nav.toBase64()));
    QTRY_COMPARE_WITH_TIMEOUT(shown_values(pages)["lat"], QStringLiteral("45.00000000"), wait_ms);
    const QMap<QString, QString> before = shown_values(pages);
    QCOMPARE(before["lon"], QStringLiteral("45.00000000"));
    QCOMPARE(before["speed"], QStringLiteral("100"));
    QCOMPARE(before["status"], QStringLiteral("Движение"));

    // Id 99 has no layout; then a record of layout 2, whose arrival proves that the line
    // before it was handled.
    QVERIFY(s.tracker().control("send $SD,99," + QByteArray(12, '\0').toBase64()));
    const QByteArray power = QByteArray::fromHex("e02e"
                                                 "05"
                                                 "00"
                                                 "efbeadde") +
                             QByteArray("123456789012345\0", 16);
    QVERIFY(s.tracker().control("send $SD,2," + power.toBase64()));
    QTRY_COMPARE_WITH_TIMEOUT(shown_values(pages)["flags"], QStringLiteral("DEADBEEF"), wait_ms);

    const QMap<QString, QString> after = shown_values(pages);
    for (const QString& field : {"lat", "lon", "speed", "sats", "status"})
        QCOMPARE(after[field], before[field]);
    QCOMPARE(after["voltage"], QStringLiteral("12"));
    QCOMPARE(after["inputs"], QStringLiteral("101"));
    QCOMPARE(after["outputs"], QStringLiteral("0"));
    QCOMPARE(after["imei"], QStringLiteral("123456789012345"));
}

void test_e2e_link::worker_giving_up_returns_to_idle()
{
    tracker_session s;
    tracker_session::options o;
    o.sim_options = QStringList{"--silent"};
    QVERIFY2(s.start(o), qPrintable(s.error()));
    QVERIFY(s.wait_until_ready());

    // The tracker shakes hands but answers no command: after 21 failures in a row the worker
    // ends the link by itself.
    QVERIFY(s.wait_until_idle(90000));
    QCOMPARE(s.log().count("Command error..."), 21);
    QCOMPARE(s.log().count("Executing...AT+APN=?"), 21);
    QVERIFY(!s.controls_enabled());
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Соедениться с трекером"));
    QVERIFY(s.tracker().transcript().commands().endsWith("AT+TEXT=7395,"));
}

void test_e2e_link::closing_the_window_ends_the_link_first()
{
    tracker_session s;
    QVERIFY2(s.start({}), qPrintable(s.error()));
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, 2).size();

    s.window().close();
    // The window waits for the worker to close the port; no streaming command on this path.
    QVERIFY(s.window().isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window().isVisible(), wait_ms);
    QCOMPARE(s.log().first(), QStringLiteral("Tracker disconnected..."));
    QVERIFY(s.tracker().wait_for_event("data-mode"));
    QCOMPARE(s.tracker_commands_since(seen), QStringList({"AT+TEXT=7395,"}));
}

void test_e2e_link::unplug_and_replug_recovers_by_itself()
{
    tracker_session s;
    QVERIFY2(s.start({}), qPrintable(s.error()));
    tab_xml_widget& pages = s.pages();
    QVERIFY(s.wait_until_ready());
    const int seen = s.wait_for_commands(0, 2).size();
    QCOMPARE(s.log().count("Handshake OK"), 1);

    QVERIFY(s.tracker().unplug());
    // The worker notices the lost device and keeps trying to open the port.
    QVERIFY(
        s.wait_for_log(QStringLiteral("Opening port ") + s.tracker().port_path() + " (115200)", 2));
    QTest::mouseClick(pages.page_list[0].commands[1].read_button, Qt::LeftButton);

    QVERIFY(s.tracker().replug());
    QVERIFY(s.wait_for_log("Handshake OK", 2));
    // The read queued meanwhile survives, and the current tab is polled again.
    const QStringList after = s.wait_for_commands(seen, 3);
    QCOMPARE(after.size(), 3);
    QVERIFY(after.contains("AT+GSM=?"));
    QCOMPARE(after.count("AT+APN=?"), 1);
    QVERIFY(s.controls_enabled());
    QCOMPARE(s.connect_button()->text(), QStringLiteral("Разорвать связь"));
}

QTEST_MAIN(test_e2e_link)
#include "test_e2e_link.moc"
