#include "OperatorQuestions.h"

#include <QInputDialog>

QMessageBox::StandardButton MessageBoxQuestions::ask(QWidget* parent, const QString& title,
                                                     const QString& text,
                                                     QMessageBox::StandardButtons buttons,
                                                     QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::Question, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton && buttons.testFlag(defaultButton))
        box.setDefaultButton(defaultButton);
    const int chosen = box.exec();
    if (chosen == 0 || !(buttons & QMessageBox::StandardButton(chosen)))
        return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
    return QMessageBox::StandardButton(chosen);
}

bool MessageBoxQuestions::askText(QWidget* parent, const QString& title, const QString& label,
                                  QString& text) {
    bool accepted = false;
    const QString answer =
        QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &accepted);
    if (accepted)
        text = answer;
    return accepted;
}
