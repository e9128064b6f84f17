#include "track_view.h"

#include "profile_reader.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRectF>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double margin = 24.0;          // pixels kept free around the track
constexpr double closest_zoom = 0.5;     // metres per pixel: a van standing still is no dot
constexpr double grid_pixels = 60.0;     // grid lines at least this far apart
constexpr double scale_bar_pixels = 120; // the longest scale bar

track_fields fields_of_profile(const QString& path)
{
    QList<profile_rawdata> rawdata;
    QList<profile_column> columns;
    QString error;
    read_device_state(path, rawdata, columns, error);
    return track_fields_of(columns);
}

QString length_text(double metres)
{
    return metres >= 1000.0 ? QStringLiteral("%1 км").arg(metres / 1000.0)
                            : QStringLiteral("%1 м").arg(metres);
}

} // namespace

// Paints the history around its own bounds, north up, the newest position on top.
class track_canvas : public QWidget
{
public:
    track_canvas(const track_history& track, QWidget* parent) : QWidget(parent), history(track)
    {
        setMinimumSize(240, 200);
    }

    track_state current;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRectF track_bounds() const;
    void fit(const QRectF& bounds);
    QPointF on_screen(const QPointF& metres) const;
    void paint_grid(QPainter& painter) const;
    void paint_track(QPainter& painter) const;
    void paint_position(QPainter& painter) const;
    void paint_scale_bar(QPainter& painter) const;

    const track_history& history;
    QPointF centre;     // metres from the reference, at the canvas's centre
    double scale = 1.0; // metres per pixel
};

QRectF track_canvas::track_bounds() const
{
    QRectF bounds(metres_from(history.reference(), history.at(0)), QSizeF(0, 0));
    for (int i = 1; i < history.size(); ++i) {
        const QPointF p = metres_from(history.reference(), history.at(i));
        bounds.setLeft(qMin(bounds.left(), p.x()));
        bounds.setRight(qMax(bounds.right(), p.x()));
        bounds.setTop(qMin(bounds.top(), p.y()));
        bounds.setBottom(qMax(bounds.bottom(), p.y()));
    }
    return bounds;
}

void track_canvas::fit(const QRectF& bounds)
{
    centre = bounds.center();
    const double room_x = qMax(1.0, width() - 2 * margin);
    const double room_y = qMax(1.0, height() - 2 * margin);
    scale = qMax(closest_zoom, qMax(bounds.width() / room_x, bounds.height() / room_y));
}

QPointF track_canvas::on_screen(const QPointF& metres) const
{
    return {width() / 2.0 + (metres.x() - centre.x()) / scale,
            height() / 2.0 - (metres.y() - centre.y()) / scale};
}

void track_canvas::paint_grid(QPainter& painter) const
{
    const double step = grid_step(scale, grid_pixels);
    painter.setPen(QPen(palette().color(QPalette::Mid), 0, Qt::DotLine));
    const double half_w = width() / 2.0 * scale;
    const double half_h = height() / 2.0 * scale;
    for (double x = std::ceil((centre.x() - half_w) / step) * step; x <= centre.x() + half_w;
         x += step) {
        const double sx = on_screen({x, 0}).x();
        painter.drawLine(QPointF(sx, 0), QPointF(sx, height()));
    }
    for (double y = std::ceil((centre.y() - half_h) / step) * step; y <= centre.y() + half_h;
         y += step) {
        const double sy = on_screen({0, y}).y();
        painter.drawLine(QPointF(0, sy), QPointF(width(), sy));
    }
}

void track_canvas::paint_track(QPainter& painter) const
{
    QPolygonF line;
    line.reserve(history.size());
    for (int i = 0; i < history.size(); ++i) {
        line.append(on_screen(metres_from(history.reference(), history.at(i))));
    }
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawPolyline(line);
}

// A dot, and an arrow along the course when the profile gives one; grey without a fix.
void track_canvas::paint_position(QPainter& painter) const
{
    const QPointF at = on_screen(metres_from(history.reference(), history.at(history.size() - 1)));
    const QColor colour = current.position ? QColor(200, 30, 30) : palette().color(QPalette::Mid);
    painter.setPen(QPen(palette().color(QPalette::Base), 2));
    painter.setBrush(colour);
    if (current.position && current.course) {
        painter.save();
        painter.translate(at);
        painter.rotate(*current.course);
        QPainterPath arrow;
        arrow.moveTo(0, -14);
        arrow.lineTo(9, 10);
        arrow.lineTo(0, 5);
        arrow.lineTo(-9, 10);
        arrow.closeSubpath();
        painter.drawPath(arrow);
        painter.restore();
        return;
    }
    painter.drawEllipse(at, 7, 7);
}

void track_canvas::paint_scale_bar(QPainter& painter) const
{
    const double metres = scale_bar_length(scale, scale_bar_pixels);
    const double pixels = metres / scale;
    const QPointF left(margin / 2, height() - margin / 2);
    const QPointF right = left + QPointF(pixels, 0);
    painter.setPen(QPen(palette().color(QPalette::Text), 2));
    painter.drawLine(left, right);
    painter.drawLine(left, left - QPointF(0, 5));
    painter.drawLine(right, right - QPointF(0, 5));
    painter.drawText(QRectF(left.x(), left.y() - 22, pixels, 16), Qt::AlignCenter,
                     length_text(metres));
}

void track_canvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (history.size() == 0) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Нет координат"));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    fit(track_bounds());
    paint_grid(painter);
    paint_track(painter);
    paint_position(painter);
    paint_scale_bar(painter);
}

track_view::track_view(const QString& profile_path, QWidget* parent)
    : QWidget(parent), fields(fields_of_profile(profile_path)),
      canvas(new track_canvas(history, this)), fix_label(new QLabel(this)),
      map_button(new QPushButton(QStringLiteral("Открыть на карте"), this))
{
    auto* bar = new QHBoxLayout;
    bar->addWidget(fix_label, 1);
    bar->addWidget(map_button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(canvas, 1);
    fix_label->setWordWrap(true);
    map_button->setToolTip(QStringLiteral("Последнее известное место на OpenStreetMap в браузере"));
    map_button->setEnabled(false);
    connect(map_button, &QPushButton::clicked, this, &track_view::open_map);
    show_fix({});
}

void track_view::show_state(const QList<field_value>& values)
{
    const track_state state = track_state_of(values, fields);
    if (state.position) {
        history.add(*state.position);
        last_position = state.position;
    }
    canvas->current = state;
    map_button->setEnabled(last_position.has_value());
    show_fix(state);
    canvas->update();
}

void track_view::show_fix(const track_state& state)
{
    if (fields.latitude.isEmpty() || fields.longitude.isEmpty()) {
        fix_label->setText(QStringLiteral("В профиле нет координат"));
        return;
    }
    if (!state.position) {
        fix_label->setText(QStringLiteral("Нет фиксации"));
        return;
    }
    QString text = QStringLiteral("Фиксация: %1, %2")
                       .arg(state.position->latitude, 0, 'f', 5)
                       .arg(state.position->longitude, 0, 'f', 5);
    if (state.course) {
        text += QStringLiteral(", курс %1°").arg(*state.course, 0, 'f', 0);
    }
    fix_label->setText(text);
}

void track_view::open_map() const
{
    if (last_position) {
        QDesktopServices::openUrl(QUrl(map_address(*last_position)));
    }
}
