#pragma once

#include <QStringList>
#include <deque>

#include "OperatorQuestions.h"

// Answers the window's questions from a script and records what was asked.
class ScriptedQuestions : public OperatorQuestions {
public:
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<std::pair<bool, QString>> textAnswers;
    QStringList asked;                           // title + ": " + text of every question, in order
    QList<QMessageBox::StandardButton> defaults; // the default button of every question

    QMessageBox::StandardButton
    ask(QWidget*, const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override {
        asked << title + QStringLiteral(": ") + text;
        defaults << defaultButton;
        if (answers.empty())
            return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        return answer;
    }

    bool askText(QWidget*, const QString& title, const QString& label, QString& text) override {
        asked << title + QStringLiteral(": ") + label;
        if (textAnswers.empty())
            return false;
        const auto [accepted, answer] = textAnswers.front();
        textAnswers.pop_front();
        if (accepted)
            text = answer;
        return accepted;
    }
};
