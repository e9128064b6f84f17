#include "chart_view.h"

#include "file_dialog.h"
#include "history_csv.h"
#include "message_box.h"
#include "profile_reader.h"
#include "settings_file.h"
#include "track_geometry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QTimeZone>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <functional>
#include <limits>
#include <utility>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

namespace {

const int window_minutes[] = {1, 5, 15, 60};
const QString export_folder = QStringLiteral("ChartFolder");

plot_catalogue catalogue_of_profile(const QString& path)
{
    QList<profile_rawdata> rawdata;
    QList<profile_column> columns;
    QString error;
    read_device_state(path, rawdata, columns, error);
    return plot_catalogue_of(rawdata, columns);
}

QString range_tip(const plot_field& field)
{
    if (!field.has_range) {
        return QStringLiteral("Допустимые пределы в профиле не заданы");
    }
    return QStringLiteral("Допустимо от %1 до %2 %3")
        .arg(field.range_min)
        .arg(field.range_max)
        .arg(field.unit)
        .trimmed();
}

using time_span = std::pair<qint64, qint64>; // from, to: ms since the epoch

QVector<QPointF> level_line(const time_span& span, double value)
{
    return {{double(span.first), value}, {double(span.second), value}};
}

} // namespace

// The chart itself: one line per ticked field, the fields of one unit on one value axis, axes
// left and right in turn. A range the user picks with the mouse is told through on_user_zoom.
class chart_canvas : public QChartView
{
public:
    explicit chart_canvas(QWidget* parent);

    std::function<void()> on_user_zoom;

    void show_fields(const plot_catalogue& catalogue, const QList<int>& fields, bool ranges);
    void draw(const state_history& history, const time_span& span);
    time_span shown_span() const;

private:
    struct plotted
    {
        int field;
        QLineSeries* line;
        QLineSeries* low; // the valid range, when shown
        QLineSeries* high;
        QValueAxis* axis;
    };
    QLineSeries* add_range_line(const QLineSeries& line, QValueAxis* axis);
    QValueAxis* axis_for(const QString& unit, const QColor& colour);
    struct value_bounds
    {
        double low = std::numeric_limits<double>::max();
        double high = std::numeric_limits<double>::lowest();
        void take(double value)
        {
            low = qMin(low, value);
            high = qMax(high, value);
        }
    };
    static void fit_value_axis(QValueAxis& axis, value_bounds bounds);

    QDateTimeAxis* time_axis;
    QList<plotted> lines;
    QHash<QString, QValueAxis*> axes; // by unit
    bool drawing = false;             // ranges change by our hand, not by a zoom
};

chart_canvas::chart_canvas(QWidget* parent)
    : QChartView(new QChart, parent), time_axis(new QDateTimeAxis)
{
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setToolTip(QStringLiteral("Выделите участок мышью, чтобы увеличить его; правая кнопка "
                              "уменьшает"));
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->setMargins(QMargins(4, 4, 4, 4));
    chart()->layout()->setContentsMargins(0, 0, 0, 0);
    chart()->setBackgroundRoundness(0);
    time_axis->setTickCount(7);
    chart()->addAxis(time_axis, Qt::AlignBottom);
    connect(time_axis, &QDateTimeAxis::rangeChanged, this, [this] {
        if (!drawing && on_user_zoom) {
            on_user_zoom();
        }
    });
}

void chart_canvas::show_fields(const plot_catalogue& catalogue, const QList<int>& fields,
                               bool ranges)
{
    drawing = true;
    chart()->removeAllSeries();
    for (QValueAxis* axis : qAsConst(axes)) {
        chart()->removeAxis(axis);
        delete axis;
    }
    axes.clear();
    lines.clear();
    for (int field : fields) {
        const plot_field& plot = catalogue.fields.at(field);
        auto* line = new QLineSeries;
        line->setName(plot_title(plot).toHtmlEscaped());
        chart()->addSeries(line);
        line->attachAxis(time_axis);
        QValueAxis* axis = axis_for(plot.unit, line->color());
        line->attachAxis(axis);
        const bool with_range = ranges && plot.has_range;
        lines.append({field, line, with_range ? add_range_line(*line, axis) : nullptr,
                      with_range ? add_range_line(*line, axis) : nullptr, axis});
    }
    chart()->setTitle(fields.isEmpty() ? QStringLiteral("Отметьте поле слева, чтобы увидеть его "
                                                        "график")
                                       : QString());
    drawing = false;
}

// Dashed in the colour of its field, and not in the legend.
QLineSeries* chart_canvas::add_range_line(const QLineSeries& line, QValueAxis* axis)
{
    auto* range = new QLineSeries;
    chart()->addSeries(range);
    range->attachAxis(time_axis);
    range->attachAxis(axis);
    range->setPen(QPen(line.color(), 1, Qt::DashLine));
    for (QLegendMarker* marker : chart()->legend()->markers(range)) {
        marker->setVisible(false);
    }
    return range;
}

// A new axis takes the colour of its first line, so that each line is read on its own axis.
QValueAxis* chart_canvas::axis_for(const QString& unit, const QColor& colour)
{
    QValueAxis*& axis = axes[unit];
    if (!axis) {
        axis = new QValueAxis;
        axis->setTitleText(unit.toHtmlEscaped());
        axis->setTitleBrush(colour);
        axis->setLabelsColor(colour);
        axis->setLinePenColor(colour);
        axis->setLabelFormat(QStringLiteral("%g"));
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setGridLineVisible(axes.size() == 1); // the grids of several axes are a maze
        chart()->addAxis(axis, axes.size() % 2 == 1 ? Qt::AlignLeft : Qt::AlignRight);
    }
    return axis;
}

void chart_canvas::draw(const state_history& history, const time_span& span)
{
    drawing = true;
    time_axis->setRange(QDateTime::fromMSecsSinceEpoch(span.first),
                        QDateTime::fromMSecsSinceEpoch(span.second));
    time_axis->setFormat(span.second - span.first > 15 * 60000 ? QStringLiteral("HH:mm")
                                                               : QStringLiteral("HH:mm:ss"));
    // Two points to a pixel at most: more would cost time and show nothing new.
    const int buckets = qMax(100, int(chart()->plotArea().width()));
    QHash<QValueAxis*, value_bounds> bounds;
    for (const plotted& plot : qAsConst(lines)) {
        const QVector<QPointF> points =
            history.of(plot.field).points(span.first, span.second, buckets);
        value_bounds& axis_bounds = bounds[plot.axis];
        for (const QPointF& point : points) {
            axis_bounds.take(point.y());
        }
        plot.line->replace(points);
        if (plot.low) {
            const plot_field& field = history.catalogue().fields.at(plot.field);
            plot.low->replace(level_line(span, field.range_min));
            plot.high->replace(level_line(span, field.range_max));
            axis_bounds.take(field.range_min);
            axis_bounds.take(field.range_max);
        }
    }
    for (auto axis = bounds.cbegin(); axis != bounds.cend(); ++axis) {
        fit_value_axis(*axis.key(), axis.value());
    }
    drawing = false;
}

// The axis spans its values with a little room above and below, labelled at about five round
// values.
void chart_canvas::fit_value_axis(QValueAxis& axis, value_bounds bounds)
{
    if (bounds.low > bounds.high) {
        bounds = {0.0, 1.0};
    }
    const double span = bounds.high - bounds.low;
    const double room = span > 0.0 ? span * 0.05 : qMax(1.0, qAbs(bounds.high) * 0.05);
    axis.setRange(bounds.low - room, bounds.high + room);
    axis.setTickAnchor(0.0);
    axis.setTickInterval(grid_step(span + 2 * room, 1.0 / 5));
}

time_span chart_canvas::shown_span() const
{
    return {time_axis->min().toMSecsSinceEpoch(), time_axis->max().toMSecsSinceEpoch()};
}

chart_view::chart_view(const QString& profile_path, QWidget* parent)
    : QWidget(parent), samples(catalogue_of_profile(profile_path)),
      field_list(new QListWidget(this)), canvas(new chart_canvas(this))
{
    auto* plot_row = new QHBoxLayout;
    plot_row->addWidget(field_list);
    plot_row->addWidget(canvas, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(make_controls());
    layout->addLayout(plot_row, 1);
    add_field_list();
    canvas->on_user_zoom = [this] { pause_button->setChecked(true); };
    connect(&refresh, &QTimer::timeout, this, [this] {
        if (isVisible() && !pause_button->isChecked()) {
            redraw();
        }
    });
    refresh.start(refresh_interval_ms());
    show_ticked();
}

QWidget* chart_view::make_controls()
{
    auto* bar = new QWidget(this);
    minutes_box = new QComboBox(bar);
    for (int minutes : window_minutes) {
        minutes_box->addItem(QStringLiteral("%1 мин").arg(minutes), minutes);
    }
    minutes_box->setToolTip(QStringLiteral("Сколько последних минут показать"));
    range_box = new QCheckBox(QStringLiteral("Допустимые пределы"), bar);
    range_box->setChecked(true);
    range_box->setToolTip(QStringLiteral("Пределы из профиля пунктиром"));
    pause_button = new QPushButton(QStringLiteral("Пауза"), bar);
    pause_button->setCheckable(true);
    csv_button = new QPushButton(QStringLiteral("CSV..."), bar);
    csv_button->setToolTip(QStringLiteral("Сохранить показанные данные в таблицу CSV"));
    png_button = new QPushButton(QStringLiteral("PNG..."), bar);
    png_button->setToolTip(QStringLiteral("Сохранить график картинкой PNG"));

    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Последние"), bar));
    row->addWidget(minutes_box);
    row->addWidget(range_box);
    row->addStretch(1);
    row->addWidget(pause_button);
    row->addWidget(csv_button);
    row->addWidget(png_button);

    connect(minutes_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &chart_view::change_length);
    connect(range_box, &QCheckBox::toggled, this, &chart_view::show_ticked);
    connect(pause_button, &QPushButton::toggled, this, &chart_view::set_paused);
    connect(csv_button, &QPushButton::clicked, this, &chart_view::export_csv);
    connect(png_button, &QPushButton::clicked, this, &chart_view::export_png);
    return bar;
}

// The first field is ticked, so that the view never opens on an empty chart.
void chart_view::add_field_list()
{
    for (const plot_field& field : samples.catalogue().fields) {
        auto* item = new QListWidgetItem(plot_title(field), field_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(field_list->count() == 1 ? Qt::Checked : Qt::Unchecked);
        item->setToolTip(range_tip(field));
    }
    if (samples.catalogue().fields.isEmpty()) {
        new QListWidgetItem(QStringLiteral("В профиле нет числовых полей"), field_list);
    }
    field_list->setFixedWidth(field_list->sizeHintForColumn(0) + 2 * field_list->frameWidth() + 8);
    connect(field_list, &QListWidget::itemChanged, this, &chart_view::show_ticked);
}

QList<int> chart_view::ticked() const
{
    QList<int> fields;
    for (int i = 0; i < samples.catalogue().fields.size(); ++i) {
        if (field_list->item(i)->checkState() == Qt::Checked) {
            fields.append(i);
        }
    }
    return fields;
}

void chart_view::take_line(int layout, const QList<field_value>& values, qint64 time_ms,
                           line_source source)
{
    // Another source, or a recording from its start again, would put its lines among the old.
    if (source != timeline || (source == line_source::recording && time_ms < last_line_ms)) {
        samples.clear();
        timeline = source;
    }
    last_line_ms = time_ms;
    clock_offset_ms = time_ms - QDateTime::currentMSecsSinceEpoch();
    samples.take_line(layout, values, time_ms);
}

void chart_view::show_ticked()
{
    const QList<int> fields = ticked();
    canvas->show_fields(samples.catalogue(), fields, range_box->isChecked());
    csv_button->setEnabled(!fields.isEmpty());
    png_button->setEnabled(!fields.isEmpty());
    redraw();
}

// Live, the window ends now (in the lines' time); paused, the shown part stays, so that ticking a
// field keeps the moment in view.
void chart_view::redraw()
{
    if (pause_button->isChecked()) {
        canvas->draw(samples, canvas->shown_span());
        return;
    }
    // A recording's time runs on from its last line, at the pace of the clock.
    const qint64 now = QDateTime::currentMSecsSinceEpoch() + clock_offset_ms;
    canvas->draw(samples, {now - window_length_ms(), now});
}

// Paused, the new length ends where the shown part ends.
void chart_view::change_length()
{
    refresh.setInterval(refresh_interval_ms());
    if (!pause_button->isChecked()) {
        redraw();
        return;
    }
    const qint64 end = canvas->shown_span().second;
    canvas->draw(samples, {end - window_length_ms(), end});
}

// About a pixel's worth of time on a wide chart, within half a second and two: a long window
// moves slowly, and drawing it more often would only cost.
int chart_view::refresh_interval_ms() const
{
    return int(qBound(qint64(500), window_length_ms() / 1800, qint64(2000)));
}

qint64 chart_view::window_length_ms() const
{
    return qint64(minutes_box->currentData().toInt()) * 60000;
}

void chart_view::set_paused(bool paused)
{
    pause_button->setText(paused ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    if (!paused) {
        redraw();
    }
}

QString chart_view::ask_export_path(const QString& caption, const QString& suffix,
                                    const QString& filter)
{
    const QString name = QDateTime::currentDateTime().toString(
        QStringLiteral("'график-'yyyy-MM-dd-HHmm'.") + suffix + QLatin1Char('\''));
    const QString path =
        ask_file_name(file_dialog_kind::save, this, caption,
                      QDir(remembered_folder(export_folder)).filePath(name), filter);
    if (!path.isEmpty()) {
        remember_folder(export_folder, path);
    }
    return path;
}

void chart_view::export_csv()
{
    const QString path =
        ask_export_path(QStringLiteral("Сохранить данные графика"), QStringLiteral("csv"),
                        QStringLiteral("Таблицы CSV (*.csv)"));
    if (path.isEmpty()) {
        return;
    }
    const time_span shown = canvas->shown_span();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(history_csv(samples, ticked(), shown.first, shown.second,
                               QTimeZone::systemTimeZone())) < 0 ||
        !file.commit()) {
        show_message_box(message_box_kind::critical, this, QStringLiteral("Ошибка"),
                         QStringLiteral("Данные графика не сохранены: ") + file.errorString());
        return;
    }
    emit status_text(QStringLiteral("Данные графика сохранены в ") +
                     QDir::toNativeSeparators(path));
}

void chart_view::export_png()
{
    const QString path = ask_export_path(QStringLiteral("Сохранить график"), QStringLiteral("png"),
                                         QStringLiteral("Картинки PNG (*.png)"));
    if (path.isEmpty()) {
        return;
    }
    if (!canvas->grab().save(path, "PNG")) {
        show_message_box(message_box_kind::critical, this, QStringLiteral("Ошибка"),
                         QStringLiteral("График не сохранён в ") + QDir::toNativeSeparators(path));
        return;
    }
    emit status_text(QStringLiteral("График сохранён в ") + QDir::toNativeSeparators(path));
}
