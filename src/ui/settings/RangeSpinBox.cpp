#include "RangeSpinBox.h"

#include <algorithm>

namespace {

bool allDigits(const QString& text) {
    if (text.isEmpty() || text.size() > RangeSpinBox::kMaxDigits)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

RangeSpinBox::RangeSpinBox(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    // The value changes when editing ends, so that the previous value is the one before the
    // operator began typing (not 7000 on the way to 70000).
    setKeyboardTracking(false);
}

QValidator::State RangeSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Invalid)
        return state;
    // A number beyond the range may be typed whole; it is refused when editing ends.
    return allDigits(input.trimmed()) ? QValidator::Intermediate : QValidator::Invalid;
}

void RangeSpinBox::fixup(QString& input) const {
    // Called when editing ends on a text that is no value of the field; the spin box then goes
    // back to its previous value, which value() still holds. The operator hears of it before
    // anything else (an OK button pressed at the same time) can take that value.
    // The text is left as typed: the spin box's own correction would drop a character of it
    // (70000 became 7000), and a corrected text would be taken as the operator's value.
    const_cast<RangeSpinBox*>(this)->reportRefusal(input.trimmed());
}

QString RangeSpinBox::refusalText(const QString& refused) const {
    const QString range = tr("%1 to %2").arg(minimum()).arg(maximum());
    if (refused.isEmpty())
        return tr("Enter a number from %1; %2 is kept.").arg(range).arg(value());
    return tr("%1 is not in %2; %3 is kept.").arg(refused, range).arg(value());
}

void RangeSpinBox::reportRefusal(const QString& text) {
    emit refused(refusalText(text));
}
