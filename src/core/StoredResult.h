#pragma once

#include <QDateTime>
#include <QString>

// One result as it was stored in a patient's data file, for those who pass stored results on.
struct StoredResult {
    enum class Kind { Patient, Control, Calibration };

    QString patientId;
    QString lastName;
    QString firstName;
    QString parameter; // "Glucose", "Lactate", "LPRatio", ...
    QString place;     // the site or catheter ("CNS", "Cath 1") or a control's level
    QString unit;      // as the analyzer gave it ("mmol/l", "umol/l")
    double value = 0;
    QDateTime time; // when the sample was taken
    Kind kind = Kind::Patient;
    QString vialId;
    qint32 attemptNo = 0;
    QString statusText;
    quint8 status = 0; // the stored point's status (0: normal)
    // The analyzer that produced it, as the collector knows it from the message: the identity an
    // analyzer gives in its messages (serial number, machine name), otherwise the address of its
    // connection ("RS232" for the serial link); empty when unknown.
    QString analyzer;
};

// One event (a short text with its time) as it was stored in a patient's events file.
struct StoredEvent {
    QString patientId;
    QString lastName;
    QString firstName;
    QString text;
    QDateTime time;
    QString analyzer; // as for a result
};
