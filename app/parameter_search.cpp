#include "parameter_search.h"

#include "tab_xml_widget.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

parameter_search::parameter_search(tab_xml_widget& page_widget, QWidget* parent)
    : QWidget(parent), pages(page_widget), entries(index_parameters(page_widget)),
      query(new QLineEdit(this)), results(new QListWidget(this))
{
    query->setPlaceholderText(QStringLiteral("Название параметра"));
    query->setClearButtonEnabled(true);
    query->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(query);
    layout->addWidget(results);

    connect(query, &QLineEdit::textChanged, this, &parameter_search::list_matches);
    // Enter in the field takes the first match, so that a precise query needs no mouse.
    connect(query, &QLineEdit::returnPressed, this, [this] { show_match(0); });
    // One click is enough, whatever the style says about activating items.
    const auto show_item = [this](QListWidgetItem* item) { show_match(results->row(item)); };
    connect(results, &QListWidget::itemActivated, this, show_item);
    connect(results, &QListWidget::itemClicked, this, show_item);
}

void parameter_search::focus_query()
{
    query->setFocus(Qt::ShortcutFocusReason);
    query->selectAll();
}

// Down leaves the field for the list of matches.
bool parameter_search::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == query && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && !matches.isEmpty()) {
        results->setCurrentRow(0);
        results->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// A query that finds nothing says so, in a line that cannot be chosen.
void parameter_search::list_matches(const QString& text)
{
    matches = find_parameters(entries, text);
    results->clear();
    for (const search_entry& match : matches)
        results->addItem(place_text(match.place));
    if (matches.isEmpty() && !text.trimmed().isEmpty()) {
        auto* none = new QListWidgetItem(QStringLiteral("Ничего не найдено"), results);
        none->setFlags(Qt::NoItemFlags);
    }
}

void parameter_search::show_match(int row)
{
    if (row < 0 || row >= matches.size())
        return;
    const search_entry& match = matches[row];
    pages.tab_widget->setCurrentIndex(match.tab);
    pages.page_list[match.tab].scroll_area->ensureWidgetVisible(match.input);
    match.input->setFocus(Qt::OtherFocusReason);
}
