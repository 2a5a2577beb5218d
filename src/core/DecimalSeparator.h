#pragma once

#include <QChar>

// The process-wide decimal separator that the analyzer readers switch to "." and message
// handling restores afterwards. Explicit state of the collector: the C locale and the system's
// settings are never changed, so number conversion does not depend on the machine.
namespace DecimalSeparator {

QChar current();
void set(QChar separator);

// The system's own separator, taken once at start-up.
QChar system();

} // namespace DecimalSeparator
