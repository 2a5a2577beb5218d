#include "DecimalSeparator.h"

#include <QLocale>

namespace {
QChar& currentSeparator() {
    static QChar separator = DecimalSeparator::system();
    return separator;
}
} // namespace

namespace DecimalSeparator {

QChar current() {
    return currentSeparator();
}

void set(QChar separator) {
    currentSeparator() = separator;
}

QChar system() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.at(0);
}

} // namespace DecimalSeparator
