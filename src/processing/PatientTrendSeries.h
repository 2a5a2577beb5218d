#pragma once

#include <vector>

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

// One stored series of a patient as a trend shows it: points as (milliseconds since the epoch,
// value), split into segments where the file holds a series break.
struct TrendLine {
    QString parameter; // as stored, e.g. "Glucose" or "LPRatio"
    QString place;     // measurement place, e.g. "CNS Worse"
    QString unit;      // empty for the ratios
    QString label;     // for a legend: "Glucose CNS Worse (mM)"
    std::vector<QList<QPointF>> segments;

    qsizetype pointCount() const;
};

// The trend parameters of a patient data file (Glucose, Lactate, Pyruvate, Glycerol, Glutamate
// and the lactate ratios), read from the file and kept until the file changes.
class PatientTrendSeries {
public:
    // Larger files are not read for a trend; no patient data file grows near this.
    static constexpr qint64 kMaximumFileSize = 256LL * 1024 * 1024;

    // The parameters shown, in the order they are listed.
    static const QStringList& TrendParameters();
    // "Glucose", "L/P ratio", ... for a stored parameter name.
    static QString DisplayName(const QString& parameter);

    PatientTrendSeries() = default;
    explicit PatientTrendSeries(QString fileName) : m_fileName(std::move(fileName)) {}

    QString fileName() const { return m_fileName; }
    // Another file; read on the next refresh.
    void setFileName(const QString& fileName);

    // Reads the file when its size or modification time differs from the last reading (or it
    // has appeared or disappeared); true when it was read again.
    bool refresh();
    // How many times the file has been read (a refresh without a change reads nothing).
    int readCount() const { return m_readCount; }

    // Why nothing could be shown: the file is missing, too large or unreadable; empty when it
    // was read (damage after readable records still gives the readable points).
    QString problem() const { return m_problem; }

    // The lines with at least one point in [from, to], holding only those points.
    std::vector<TrendLine> linesBetween(const QDateTime& from, const QDateTime& to) const;
    // The last 24 hours up to now.
    std::vector<TrendLine> lastDay(const QDateTime& now) const;

private:
    struct Stamp {
        bool exists = false;
        qint64 size = -1;
        qint64 modified = -1;
        bool operator==(const Stamp&) const = default;
    };
    Stamp currentStamp() const;
    void read();

    QString m_fileName;
    Stamp m_stamp;
    bool m_read = false;
    int m_readCount = 0;
    QString m_problem;
    std::vector<TrendLine> m_lines; // every point of the file
};
