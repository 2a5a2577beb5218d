#pragma once

class QLineEdit;
class QString;
class QWidget;

namespace WindowPlacement {

// Places window centred on anchor's window (when shown), else on the screen, and keeps it
// within the screen's available area.
void centreOn(QWidget* window, const QWidget* anchor);

// Moves window back within its screen's available area where it reaches beyond it.
void keepOnScreen(QWidget* window);

// Makes a text field at least as wide as sample (and as its text, up to a third of the
// screen), so that a typical value reads whole.
void fitTextField(QLineEdit* field, const QString& sample);

} // namespace WindowPlacement
