#pragma once

#include <QPointer>
#include <QWidget>

#include "OperatorMessages.h"

class OperatorQuestions;

// The collector's messages and confirmations as message boxes over the main window.
class WindowOperatorMessages final : public OperatorMessages {
public:
    explicit WindowOperatorMessages(OperatorQuestions& questions) : m_questions(questions) {}

    // The window the boxes belong to (none until it exists).
    void setParent(QWidget* parent) { m_parent = parent; }

    void showMessage(const QString& text) override;
    bool confirm(const QString& question) override;

private:
    OperatorQuestions& m_questions;
    QPointer<QWidget> m_parent;
};
