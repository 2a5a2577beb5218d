#pragma once

class Collector;
class OperatorQuestions;
class QWidget;

// The main window's "Settings" button: opens the settings dialog modally with the housekeeping
// timer paused, and on OK writes the values and takes them into use. One dialog at a time: a
// request while one is open does nothing.
void runSettingsDialog(Collector& collector, OperatorQuestions& questions, QWidget* parent);

// Whether the settings dialog is open.
bool settingsDialogOpen();
