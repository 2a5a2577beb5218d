#pragma once

#include <optional>

#include <QString>

class Collector;
class OperatorQuestions;
class QWidget;

namespace ExternalMediaDriveQuestion {

// Asks for the drive of the external media, offering the current one upper-cased. Nothing when
// the operator cancels or leaves the answer empty.
std::optional<QString> Ask(OperatorQuestions& questions, QWidget* parent, const QString& current);

// "Set External Media Drive": asks and stores an accepted answer through the collector. True
// when the drive changed; the menu caption is then in the collector's state.
bool AskAndStore(OperatorQuestions& questions, QWidget* parent, Collector& collector);

} // namespace ExternalMediaDriveQuestion
