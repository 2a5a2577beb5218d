#pragma once

#include <functional>

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QValueAxis>
#include <QWidget>

#include "PatientTrendSeries.h"

// The current patient's stored values of the last 24 hours, one line for each parameter and
// place, with the time of day along the bottom and one value axis for each unit (the first on
// the left, the others on the right), so that values in mM are not flattened by those in uM. It
// only draws: the points come from the patient's data file through PatientTrendSeries, read
// again whenever the file changes.
class PatientTrendView : public QWidget {
    Q_OBJECT

public:
    using Now = std::function<QDateTime()>;

    static constexpr int kHours = 24;

    explicit PatientTrendView(QWidget* parent = nullptr);

    // Where "now" comes from (the clock of the collector; the local time by default).
    void setNow(Now now) { m_now = std::move(now); }

    // Shows the trend of another patient data file (empty: no patient).
    void showPatient(const QString& pilFilePath);
    QString patientFile() const { return m_series.fileName(); }
    // The patient the trend belongs to, named in its title ("P1 Åsa Öberg").
    void setPatientName(const QString& name);
    QString patientName() const { return m_patientName; }

    // The text shown over an empty chart; empty while lines are shown.
    QString emptyText() const;
    // The legend texts of the lines shown, in order.
    QStringList lineLabels() const;
    // How many times the chart was drawn anew (a refresh of an unchanged file draws nothing).
    int redrawCount() const { return m_redraws; }

    QChart* chart() const { return m_chart; }
    // The value axis of each unit shown ("ratio" for the ratios), in order.
    QList<QValueAxis*> valueAxes() const { return m_valueAxes; }

public slots:
    // Reads the file again when it changed since the last reading, and draws it anew then or
    // when the 24-hour window has moved on a minute.
    void refresh();

private:
    // The lowest and highest value drawn against one value axis.
    struct ValueRange {
        double low = 0;
        double high = 0;
        bool empty = true;
    };

    void redraw();
    // Removes the lines, their value axes and labels.
    void clearChart();
    // Draws a line, one series per segment, against its axis; widens the axis's range.
    void addLine(const TrendLine& line, const QColor& colour, QValueAxis* axis, ValueRange& range);
    // The axis's range around its values, with a margin; a flat or empty range gets one unit.
    static void fitAxis(QValueAxis* axis, const ValueRange& range);
    // Says why nothing is drawn: no patient, a file that cannot be read, no values.
    void showEmptyText(bool noLines);
    // Follows the file and its folder: a rebuild or another collector changes it.
    void watchFile();
    // The value axis of a unit, added when the unit is new.
    QValueAxis* axisFor(const QString& unit);

    PatientTrendSeries m_series;
    Now m_now;
    QChart* m_chart;
    QChartView* m_view;
    QDateTimeAxis* m_timeAxis;
    QList<QValueAxis*> m_valueAxes;
    QLabel* m_empty;
    QFileSystemWatcher m_watcher;
    QString m_patientName;
    QStringList m_labels;
    QDateTime m_drawnAt;
    int m_redraws = 0;
};
