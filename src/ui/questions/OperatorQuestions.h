#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// The questions the window puts to the operator in message boxes. The window asks through this
// interface so that tests can answer instead of a person.
class OperatorQuestions {
public:
    virtual ~OperatorQuestions() = default;

    // Shows text with the given buttons, centred on parent's window; returns the button chosen
    // (Cancel or No when the box is closed without a choice, whichever is offered). Enter chooses
    // defaultButton when it is one of the buttons.
    virtual QMessageBox::StandardButton
    ask(QWidget* parent, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;

    // Asks for a line of text; returns false when the operator cancels.
    virtual bool askText(QWidget* parent, const QString& title, const QString& label,
                         QString& text) = 0;
};

// Real message boxes.
class MessageBoxQuestions : public OperatorQuestions {
public:
    QMessageBox::StandardButton
    ask(QWidget* parent, const QString& title, const QString& text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override;
    bool askText(QWidget* parent, const QString& title, const QString& label,
                 QString& text) override;
};
