#pragma once

#include <QDBusContext>
#include <QFile>
#include <QObject>
#include <QSet>
#include <QVariantList>

#include "OrvantaBusNames.h"

// A reference Orvanta automation server: answers the four operations the collector calls,
// appends one JSON line per call to a log file, and fails the operations or the call numbers
// it is told to fail.
class AutomationStub : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "se.keldamed.Orvanta.PanoptraAutoObject")

public:
    struct Options {
        QString logFile;
        QSet<QString> failingOperations;
        int failingCall = 0; // 1-based number of the call to fail; 0: none
        int delayMs = 0;     // answer every call this much later
    };

    explicit AutomationStub(Options options, QObject* parent = nullptr);
    bool openLog(QString* error);

public slots:
    void NotifyUpdate();
    void ReportCollectState(int handle, int state);
    void AddEndPoint(int handle, const QString& parameterName, const QString& unit, double time,
                     int reserved);
    void AddResult(const QString& patientId, const QString& parameterName,
                   const QString& measurementPlace, const QString& unit, double time, double value);

private:
    void record(const QString& operation, const QVariantList& arguments);

    Options m_options;
    QFile m_log;
    int m_callCount = 0;
};
