#pragma once

#include <QSpinBox>

// A number field that lets the operator type any number and refuses one outside its range
// instead of cutting digits off while typing (70000 would otherwise become 7000): on leaving
// the field or on Enter the field keeps its previous value and says what it refused.
class RangeSpinBox : public QSpinBox {
    Q_OBJECT

public:
    // The longest number the field takes as typed text; longer input is not typed at all.
    static constexpr int kMaxDigits = 9;

    explicit RangeSpinBox(QWidget* parent = nullptr);

    // The sentence that explains a refused text to the operator.
    QString refusalText(const QString& refused) const;

signals:
    // The typed text was refused; the field shows its previous value again.
    void refused(const QString& explanation);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

private:
    void reportRefusal(const QString& text);
};
