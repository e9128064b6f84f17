// Start-up cost of the generated pages and the cost of one device-state line, offscreen.
//
// Targets: the sample profile under 100 ms; 2,000 simple-mode parameters under 1.5 s; four times
// the parameters or commands in no more than 4.6 times the time; one device-state line of a
// 200-field profile under 0.5 ms.
//
// Build and run in a separate Release tree:
//   cmake -S . -B build/profile-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTC_BENCH=ON
//   -DTC_TESTS=OFF cmake --build build/profile-bench --target profile_bench
//   build/profile-bench/bench/profile/profile_bench

#include "device_state_values.h"
#include "tab_xml_widget.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QTemporaryDir* profiles_dir = nullptr;

QString write_profile(const QString& name, const QString& xml)
{
    const QString path = profiles_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    QTextStream(&file) << xml;
    return path;
}

QString options_xml()
{
    return QStringLiteral("<option value=\"0\" text=\"Выключено\"/><option value=\"1\" "
                          "text=\"Включено\"/><option value=\"2\" text=\"Авто\"/>");
}

// A mix of the kinds real pages hold, ten commands (or 40 parameters) to a page.
QString simple_profile(int parameters)
{
    QString xml = QStringLiteral("<profile><simple_mode>");
    for (int i = 0; i < parameters; ++i) {
        if (i % 40 == 0) {
            xml += (i ? QStringLiteral("</page>") : QString()) +
                   QStringLiteral("<page id=\"p%1\" name=\"Страница %1\">").arg(i / 40);
        }
        const QString entry = QStringLiteral("+C%1,#%2").arg(i / 4).arg(i % 4 + 1);
        const QString common =
            QStringLiteral("description=\"Параметр %1\" read=\"%2\" write=\"%2\"")
                .arg(i)
                .arg(entry);
        switch (i % 4) {
        case 0:
            xml += QStringLiteral("<parameter type=\"integer\" %1 minvalue=\"0\" maxvalue=\"3600\" "
                                  "defaultvalue=\"60\"/>")
                       .arg(common);
            break;
        case 1:
            xml +=
                QStringLiteral("<parameter type=\"string\" %1 maxlen=\"32\" defaultvalue=\"x\"/>")
                    .arg(common);
            break;
        case 2:
            xml += QStringLiteral("<parameter type=\"option\" %1 defaultvalue=\"1\">%2</parameter>")
                       .arg(common, options_xml());
            break;
        default:
            xml += QStringLiteral("<parameter type=\"splitter\"/><parameter type=\"integer\" %1 "
                                  "minvalue=\"1\" maxvalue=\"10\"/>")
                       .arg(common);
        }
    }
    return xml + QStringLiteral("</page></simple_mode></profile>");
}

QString expert_profile(int commands)
{
    QString xml = QStringLiteral("<profile><expert_mode>");
    for (int i = 0; i < commands; ++i) {
        if (i % 10 == 0) {
            xml += (i ? QStringLiteral("</page>") : QString()) +
                   QStringLiteral("<page id=\"p%1\" name=\"Страница %1\">").arg(i / 10);
        }
        xml +=
            QStringLiteral("<command command=\"+C%1\" description=\"Команда %1\" polldata=\"true\">"
                           "<parameter type=\"integer\" description=\"Период\" minvalue=\"0\" "
                           "maxvalue=\"3600\" defaultvalue=\"60\"/>"
                           "<parameter type=\"string\" description=\"Адрес\" maxlen=\"64\"/>"
                           "<parameter type=\"option\" description=\"Режим\" defaultvalue=\"0\">%2"
                           "</parameter></command>")
                .arg(i)
                .arg(options_xml());
    }
    return xml + QStringLiteral("</page></expert_mode></profile>");
}

// 200 fields in two records of 100, shown in three columns in every display kind.
QString device_state_profile()
{
    QString types;
    QString names;
    QString rows[3];
    for (int i = 0; i < 200; ++i) {
        types += QStringLiteral("LSCZ8").mid(i % 4 == 3 ? 3 : i % 4, i % 4 == 3 ? 2 : 1);
        names += (i % 100 ? QStringLiteral(",") : QString()) + QStringLiteral("field_%1").arg(i);
        static const char* kinds[] = {"coord", "", "select", "", "hex", "binary", "", ""};
        const QString kind = QLatin1String(kinds[i % 8]);
        QString display =
            QStringLiteral("<display field=\"field_%1\" comment=\"Поле %1\" unit=\"ед\" "
                           "display_as=\"%2\" multiplier=\"0.1\" valid_range_min=\"0\" "
                           "valid_range_max=\"1000\">")
                .arg(i)
                .arg(kind);
        if (kind == QLatin1String("select")) {
            display += QStringLiteral("<option id=\"1\" text=\"Один\"/><option id=\"default\" "
                                      "text=\"Иное\"/>");
        }
        rows[i % 3] += display + QStringLiteral("</display>");
        if (i % 100 == 99) {
            types += QLatin1Char('|') + names;
            names.clear();
            types += QLatin1Char('\n');
        }
    }
    const QStringList schemas = types.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return QStringLiteral("<profile><rawdata id=\"1\" schema=\"%1\"/><rawdata id=\"2\" "
                          "schema=\"%2\"/><row>%3</row><row>%4</row><row>%5</row></profile>")
        .arg(schemas.at(0), schemas.at(1), rows[0], rows[1], rows[2]);
}

// 25 cycles of L, S, C and Z8: 4 + 2 + 1 + 8 bytes.
QString device_state_payload(int seed)
{
    QByteArray record;
    for (int cycle = 0; cycle < 25; ++cycle) {
        const quint32 value = quint32(seed * 7919 + cycle);
        record.append(reinterpret_cast<const char*>(&value), 4);
        record.append(reinterpret_cast<const char*>(&value), 2);
        record.append(char(cycle % 3));
        record.append("STATE\0\0\0", 8);
    }
    return QString::fromLatin1(record.toBase64());
}

void build_pages(benchmark::State& state, const QString& path, bool simple_mode)
{
    for (auto _ : state) {
        auto pages = std::make_unique<tab_xml_widget>(nullptr, path, simple_mode);
        pages->show();
        QApplication::processEvents();
        state.PauseTiming();
        pages.reset();
        state.ResumeTiming();
    }
}

void sample_expert(benchmark::State& state)
{
    build_pages(state, QStringLiteral(TC_SAMPLE_PROFILE), false);
}

void sample_simple(benchmark::State& state)
{
    build_pages(state, QStringLiteral(TC_SAMPLE_PROFILE), true);
}

void generated_simple(benchmark::State& state)
{
    const int parameters = int(state.range(0));
    build_pages(
        state,
        write_profile(QStringLiteral("simple_%1.xml").arg(parameters), simple_profile(parameters)),
        true);
    state.counters["parameters"] = parameters;
}

void generated_expert(benchmark::State& state)
{
    const int commands = int(state.range(0));
    build_pages(
        state,
        write_profile(QStringLiteral("expert_%1.xml").arg(commands), expert_profile(commands)),
        false);
    state.counters["commands"] = commands;
}

// Decode, store, format and refresh, the worst case: every value of every line changes.
void device_state_line(benchmark::State& state)
{
    tab_xml_widget pages(nullptr, write_profile("state.xml", device_state_profile()), false);
    pages.show();
    QApplication::processEvents();
    const QStringList payloads{device_state_payload(1), device_state_payload(2)};
    pages.decode_device_state(1, payloads.at(0));
    pages.decode_device_state(2, payloads.at(1));
    int line = 0;
    for (auto _ : state) {
        pages.decode_device_state(1 + line % 2, payloads.at(line / 2 % 2));
        if (state.range(0) != 0) {
            QApplication::processEvents();
        }
        ++line;
    }
    if (pages.field_values.size() != 200) {
        state.SkipWithError("the records did not decode into 200 fields");
    }
}

// The usual stream: one record again and again with its first cycle (a position, a speed, a
// state and a name) changing.
void device_state_line_few_changes(benchmark::State& state)
{
    tab_xml_widget pages(nullptr, write_profile("state.xml", device_state_profile()), false);
    pages.show();
    QApplication::processEvents();
    QStringList payloads;
    for (int seed = 0; seed < 8; ++seed) {
        QByteArray record = QByteArray::fromBase64(device_state_payload(1).toLatin1());
        record[0] = char(seed);
        record[4] = char(seed);
        payloads << QString::fromLatin1(record.toBase64());
    }
    int line = 0;
    for (auto _ : state) {
        pages.decode_device_state(1, payloads.at(line++ % payloads.size()));
        if (state.range(0) != 0) {
            QApplication::processEvents();
        }
    }
}

// The widget-free part of a line: decode and store, then format every field.
void device_state_values_only(benchmark::State& state)
{
    QString schema;
    for (int i = 0; i < 100; ++i) {
        schema += QStringLiteral("LSCZ8").mid(i % 4 == 3 ? 3 : i % 4, i % 4 == 3 ? 2 : 1);
    }
    schema += QLatin1Char('|');
    for (int i = 0; i < 100; ++i) {
        schema += (i ? QStringLiteral(",") : QString()) + QStringLiteral("field_%1").arg(i);
    }
    const QByteArray record = QByteArray::fromBase64(device_state_payload(1).toLatin1());
    const QByteArray schema_bytes = schema.toUtf8();
    QList<field_value> values;
    QHash<QString, int> index;
    const field_format format{display_kind::number, 0.1f, 0.0f, 1000.0f};
    std::vector<char> buffer;
    for (auto _ : state) {
        store_decoded_fields(QString::fromUtf8(decode_record_text(schema_bytes, record, buffer)),
                             values, index);
        for (const field_value& value : values) {
            benchmark::DoNotOptimize(format_field(&value, format));
        }
    }
}

} // namespace

BENCHMARK(sample_expert)->Unit(benchmark::kMillisecond);
BENCHMARK(sample_simple)->Unit(benchmark::kMillisecond);
BENCHMARK(generated_simple)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(generated_expert)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);
// Argument 1: the repaint that follows the refresh is counted too.
BENCHMARK(device_state_line)->ArgName("painted")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(device_state_line_few_changes)
    ->ArgName("painted")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(device_state_values_only)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The pages trace every simple parameter they build; the figures are the point here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QTemporaryDir dir;
    profiles_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
