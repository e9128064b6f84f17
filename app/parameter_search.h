#pragma once

#include "parameter_index.h"

#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class tab_xml_widget;

// Finds a parameter by its label, group, page or command on every page: lists the matches with
// their group and page as the user types, and brings the chosen one into view with its input
// focused.
class parameter_search : public QWidget
{
    Q_OBJECT

public:
    explicit parameter_search(tab_xml_widget& pages, QWidget* parent = nullptr);

    void focus_query();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void list_matches(const QString& query);
    void show_match(int row);

    tab_xml_widget& pages;
    const QList<search_entry> entries;
    QList<search_entry> matches;
    QLineEdit* query;
    QListWidget* results;
};
