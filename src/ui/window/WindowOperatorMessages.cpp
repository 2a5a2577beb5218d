#include "WindowOperatorMessages.h"

#include <QCoreApplication>

#include "Collector.h"
#include "OperatorQuestions.h"

void WindowOperatorMessages::showMessage(const QString& text) {
    m_questions.ask(m_parent, QLatin1String(Collector::kApplicationTitle), text, QMessageBox::Ok);
}

bool WindowOperatorMessages::confirm(const QString& question) {
    return m_questions.ask(m_parent, QLatin1String(Collector::kApplicationTitle), question,
                           QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}
