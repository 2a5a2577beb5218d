#include "ExternalMediaDriveQuestion.h"

#include <QCoreApplication>

#include "Collector.h"
#include "ExternalMediaDrive.h"
#include "OperatorQuestions.h"

namespace ExternalMediaDriveQuestion {

std::optional<QString> Ask(OperatorQuestions& questions, QWidget* parent, const QString& current) {
    QString answer = current.toUpper();
    if (!questions.askText(
            parent,
            QCoreApplication::translate("TfrmCollectData", ExternalMediaDrive::kPromptTitle),
            QCoreApplication::translate("TfrmCollectData", ExternalMediaDrive::kPromptLabel),
            answer))
        return std::nullopt;
    if (answer.isEmpty())
        return std::nullopt;
    return answer;
}

bool AskAndStore(OperatorQuestions& questions, QWidget* parent, Collector& collector) {
    const std::optional<QString> answer =
        Ask(questions, parent, collector.state().externalMediaDrive);
    return answer && collector.setExternalMediaDrive(*answer);
}

} // namespace ExternalMediaDriveQuestion
