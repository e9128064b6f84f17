#pragma once

#include "field_place.h"

#include <QList>

class QWidget;

// Closing the window, ending the link or changing the display mode with edits the tracker has
// not had asks first, through ask_about_unwritten_edits, so that tests can answer through
// set_unwritten_edits_handler instead of running into a modal box.

enum class edits_answer
{
    write,   // to the tracker, or to a file when no tracker is connected
    discard, // forget them and go on
    cancel   // stay as before
};

// What is at stake: edits not yet written, or, in expert mode, blocks set in the tracker but not
// saved to its memory, which it forgets when it restarts.
enum class edits_kind
{
    unwritten,
    set_not_saved
};

using unwritten_edits_handler = edits_answer (*)(QWidget* parent, bool tracker_ready,
                                                 edits_kind kind,
                                                 const QList<unwritten_change>& changes);

// The question names the changes at stake, the first few of a long list.
edits_answer ask_about_unwritten_edits(QWidget* parent, bool tracker_ready, edits_kind kind,
                                       const QList<unwritten_change>& changes);

// Installs handler for every later question and returns the one it replaces; nullptr brings back
// the modal box.
unwritten_edits_handler set_unwritten_edits_handler(unwritten_edits_handler handler);
