// The question asked before a running firmware write is given up (window closed, port closed).
#pragma once

class QWidget;

namespace StopUpdateQuestion {

// Asks the user, modally over `parent`, whether to stop the write; true means stop.
// The buttons say what they do: "Stop the update" and "Keep writing" (the default); the box is
// named "stopUpdateQuestion", its buttons "stopUpdateButton" and "keepWritingButton".
bool ask(QWidget *parent);

} // namespace StopUpdateQuestion
