#pragma once

#include "page_configuration.h"

#include <QDialog>

class QTreeWidget;

// A configuration file held against the pages, before anything changes: one ticked row per
// position the pages would write, and apart from them what the file holds that cannot be
// applied. Accepting it hands back the rows still ticked.
class configuration_dialog : public QDialog
{
    Q_OBJECT

public:
    configuration_dialog(QWidget* parent, const QString& file_name,
                         const page_comparison& comparison);

    QList<configuration_row> ticked_rows() const;

private:
    void tick_all(bool ticked);

    QList<configuration_row> rows;
    QTreeWidget* row_list;
};
