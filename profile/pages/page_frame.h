#pragma once

#include <QFrame>

class QFormLayout;
class tab_xml_widget;
struct t_page;

// Scaffolding shared by the builders of every kind of page.

QFrame* new_frame(QWidget* parent, QFrame::Shape shape, QFrame::Shadow shadow);

// A form aligned to the top, without margins, its labels aligned right.
QFormLayout* new_form(QWidget* parent);

// A tab holding a scroll area over the page's content, appended to the owner's pages and tabs.
// A simple page also gets the frame and form its parameters go into.
t_page& add_page(tab_xml_widget& owner, const QString& name, const QString& id, bool simple);

// The content goes into its scroll area once it is complete, so that it is laid out only once.
void finish_page(t_page& page);
