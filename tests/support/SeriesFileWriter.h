#pragma once

#include <QDateTime>
#include <QDir>
#include <QString>

#include "OleDateTime.h"
#include "PatientDataFile.h"
#include "TSaveItNew.h"

// Writes a patient data file the way the collector does, one value at a time, for tests that
// read stored series back.
class SeriesFileWriter {
public:
    explicit SeriesFileWriter(QString folder, QString patientId = QStringLiteral("1912"))
        : m_folder(std::move(folder)), m_patientId(std::move(patientId)) {
        QDir().mkpath(m_folder);
    }

    QString fileName() const { return m_folder + QLatin1String(kPatientDataFileName); }

    // Adds the series when it is new; false when the value could not be stored.
    bool store(const QString& parameter, const QString& place, const QString& unit, double value,
               const QDateTime& time) {
        const qint16 index = serie(parameter, place, unit);
        return index >= 0 &&
               m_writer.AppendPoint(index, TAnalyseResult::arNormal, 1, QStringLiteral("V1"),
                                    QStringLiteral("OK"), value, OleDateTime::fromDateTime(time));
    }

    bool storeBreak(const QString& parameter, const QString& place, const QString& unit,
                    const QDateTime& time) {
        const qint16 index = serie(parameter, place, unit);
        return index >= 0 && m_writer.AppendSerieBreak(index, OleDateTime::fromDateTime(time));
    }

private:
    qint16 serie(const QString& parameter, const QString& place, const QString& unit) {
        TPatientDataFileOpening opening =
            OpenPatientDataFile(m_writer, m_folder, QStringLiteral("Ada Berg"), m_patientId);
        if (!opening.opened)
            return -1;
        for (const TParameterSerie& serie : opening.CurrentSeries)
            if (serie.Identity.ParameterName() == parameter &&
                serie.Identity.MeasurementPlace() == place)
                return serie.Index;
        const qint16 index = qint16(opening.CurrentSeries.size());
        m_writer.RegisterSerie(index, parameter, place, QString(), QString(), unit);
        return index;
    }

    QString m_folder;
    QString m_patientId;
    TSaveItNew m_writer;
};
