#pragma once

#include <QString>

#include "TStreamObject.h"

// Which monitor wrote a patient data file, and for which patient.
struct TMonitorInfo : TStreamObject {
    QString MonitorName;
    QString MonitorIdentity;
    QString PatientID;
    QString PatientName;
};
