#include "configuration_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString place_text(const configuration_row& row)
{
    const QString place = QStringLiteral("%1, #%2").arg(row.key).arg(row.position);
    return row.label.isEmpty() ? place : QStringLiteral("%1 (%2)").arg(row.label, place);
}

// What the file holds that is not applied, for people: a heading, then a line each.
QString not_applied_text(const page_comparison& comparison)
{
    QStringList lines;
    if (!comparison.read_only.isEmpty()) {
        lines << QStringLiteral("Только чтение, не записываются:");
        for (const configuration_row& row : comparison.read_only) {
            lines << QStringLiteral("  %1: сейчас «%2», в файле «%3»")
                         .arg(place_text(row), row.shown_text, row.wanted_text);
        }
    }
    if (!comparison.refused.isEmpty()) {
        lines << QStringLiteral("Недопустимые значения, не применяются:");
        for (const configuration_row& row : comparison.refused) {
            lines << QStringLiteral("  %1: в файле «%2» — %3")
                         .arg(place_text(row), row.wanted_text, refusal_text(row.refusal));
        }
    }
    if (!comparison.unknown.isEmpty()) {
        lines << QStringLiteral("Нет на страницах, пропускаются:");
        for (const QString& unknown : comparison.unknown) {
            lines << QStringLiteral("  ") + unknown;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QTreeWidget* new_row_list(QWidget* parent, const QList<configuration_row>& rows)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("differences"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("Страница"), QStringLiteral("Параметр"),
                           QStringLiteral("Сейчас"), QStringLiteral("В файле")});
    for (const configuration_row& row : rows) {
        auto* item =
            new QTreeWidgetItem(list, {row.page, place_text(row), row.shown_text, row.wanted_text});
        item->setCheckState(0, Qt::Checked);
    }
    // Once, not at every layout: a file may differ in thousands of positions.
    list->header()->resizeSections(QHeaderView::ResizeToContents);
    return list;
}

} // namespace

configuration_dialog::configuration_dialog(QWidget* parent, const QString& file_name,
                                           const page_comparison& comparison)
    : QDialog(parent), rows(comparison.rows), row_list(new_row_list(this, comparison.rows))
{
    setWindowTitle(QStringLiteral("Загрузка конфигурации"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Файл «%1». Отличий от текущих значений: %2. "
                                                "Отмеченные будут применены.")
                                     .arg(file_name)
                                     .arg(rows.size()),
                                 this));
    layout->addWidget(row_list);

    auto* ticks = new QHBoxLayout;
    auto* all = new QPushButton(QStringLiteral("Отметить все"), this);
    auto* none = new QPushButton(QStringLiteral("Снять все"), this);
    connect(all, &QPushButton::clicked, this, [this] { tick_all(true); });
    connect(none, &QPushButton::clicked, this, [this] { tick_all(false); });
    ticks->addWidget(all);
    ticks->addWidget(none);
    ticks->addStretch();
    layout->addLayout(ticks);

    const QString apart = not_applied_text(comparison);
    if (!apart.isEmpty()) {
        auto* text = new QPlainTextEdit(apart, this);
        text->setObjectName(QStringLiteral("not_applied"));
        text->setReadOnly(true);
        text->setMaximumHeight(120);
        layout->addWidget(text);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Применить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 480);
}

QList<configuration_row> configuration_dialog::ticked_rows() const
{
    QList<configuration_row> ticked;
    for (int i = 0; i < rows.size(); ++i) {
        if (row_list->topLevelItem(i)->checkState(0) == Qt::Checked) {
            ticked.append(rows.at(i));
        }
    }
    return ticked;
}

void configuration_dialog::tick_all(bool ticked)
{
    for (int i = 0; i < row_list->topLevelItemCount(); ++i) {
        row_list->topLevelItem(i)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    }
}
