#include "PatientTrendView.h"

#include <QDir>
#include <QFileInfo>
#include <QLegendMarker>
#include <QLineSeries>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

// Colours that stay apart from each other on a white background and for the common forms of
// colour blindness, in the order of the parameters.
const QList<QColor>& lineColours() {
    static const QList<QColor> colours = {
        QColor(0, 114, 178),   // Glucose: blue
        QColor(213, 94, 0),    // Lactate: vermilion
        QColor(0, 158, 115),   // Pyruvate: bluish green
        QColor(204, 121, 167), // Glycerol: reddish purple
        QColor(230, 159, 0),   // Glutamate: orange
        QColor(86, 180, 233),  // L/P ratio: sky blue
        QColor(90, 90, 90),    // L/G ratio: grey
    };
    return colours;
}

QColor colourFor(const TrendLine& line, int placeIndex) {
    const int rank = int(PatientTrendSeries::TrendParameters().indexOf(line.parameter));
    QColor colour = lineColours()[std::max(0, rank) % lineColours().size()];
    // A second place of the same parameter gets a darker shade of its colour.
    return placeIndex == 0 ? colour : colour.darker(100 + 40 * placeIndex);
}

} // namespace

PatientTrendView::PatientTrendView(QWidget* parent)
    : QWidget(parent), m_now([] { return QDateTime::currentDateTime(); }), m_chart(new QChart),
      m_view(new QChartView(m_chart, this)), m_timeAxis(new QDateTimeAxis(m_chart)),
      m_empty(new QLabel(this)) {
    setObjectName(QStringLiteral("PatientTrend"));
    m_chart->setTitle(tr("Last 24 hours"));
    m_chart->legend()->setAlignment(Qt::AlignRight);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_timeAxis->setFormat(QStringLiteral("HH:mm"));
    m_timeAxis->setTickCount(9); // every three hours
    m_timeAxis->setTitleText(tr("Time of day"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setMinimumSize(1, 1);

    m_empty->setObjectName(QStringLiteral("lblTrendEmpty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* stack = new QStackedLayout(this);
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->addWidget(m_empty);
    stack->addWidget(m_view);
    m_empty->raise();
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &PatientTrendView::refresh);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PatientTrendView::refresh);
    redraw();
}

void PatientTrendView::setPatientName(const QString& name) {
    m_patientName = name.trimmed();
    m_chart->setTitle(m_patientName.isEmpty() ? tr("Last 24 hours")
                                              : tr("Last 24 hours: %1").arg(m_patientName));
}

void PatientTrendView::watchFile() {
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    if (m_series.fileName().isEmpty())
        return;
    const QFileInfo file(m_series.fileName());
    // The folder tells when the file appears or is replaced; the file when it is written.
    if (file.absoluteDir().exists())
        m_watcher.addPath(file.absolutePath());
    if (file.exists())
        m_watcher.addPath(file.absoluteFilePath());
}

void PatientTrendView::showPatient(const QString& pilFilePath) {
    if (pilFilePath == m_series.fileName() && m_drawnAt.isValid())
        return refresh();
    m_series.setFileName(pilFilePath);
    m_series.refresh();
    watchFile();
    redraw();
}

void PatientTrendView::refresh() {
    const bool changed = m_series.refresh();
    // A file written anew by replacing it is another file to follow.
    if (changed || (!m_series.fileName().isEmpty() && m_watcher.files().isEmpty()))
        watchFile();
    // Without a change the chart is only drawn again when the window has moved on a minute.
    if (!changed && m_drawnAt.isValid() && m_drawnAt.secsTo(m_now()) < 60)
        return;
    redraw();
}

QString PatientTrendView::emptyText() const {
    return m_empty->isHidden() ? QString() : m_empty->text();
}

QStringList PatientTrendView::lineLabels() const {
    return m_labels;
}

QValueAxis* PatientTrendView::axisFor(const QString& unit) {
    const QString title = unit.isEmpty() ? tr("ratio") : unit;
    for (QValueAxis* axis : m_valueAxes)
        if (axis->titleText() == title)
            return axis;
    auto* axis = new QValueAxis(m_chart);
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%.1f"));
    m_chart->addAxis(axis, m_valueAxes.isEmpty() ? Qt::AlignLeft : Qt::AlignRight);
    m_valueAxes << axis;
    return axis;
}

void PatientTrendView::redraw() {
    ++m_redraws;
    const QDateTime now = m_now();
    m_drawnAt = now;
    clearChart();
    const std::vector<TrendLine> lines =
        m_series.fileName().isEmpty() ? std::vector<TrendLine>{} : m_series.lastDay(now);
    QHash<QValueAxis*, ValueRange> ranges;
    QHash<QString, int> placesSeen;
    for (const TrendLine& line : lines) {
        const QColor colour = colourFor(line, placesSeen[line.parameter]++);
        QValueAxis* axis = axisFor(line.unit);
        addLine(line, colour, axis, ranges[axis]);
        m_labels << line.label;
    }
    if (m_valueAxes.isEmpty()) {
        // An empty chart still has its grid.
        auto* axis = new QValueAxis(m_chart);
        m_chart->addAxis(axis, Qt::AlignLeft);
        m_valueAxes << axis;
    }
    for (QValueAxis* axis : m_valueAxes)
        fitAxis(axis, ranges.value(axis));
    m_timeAxis->setRange(now.addSecs(-kHours * 3600), now);
    showEmptyText(lines.empty());
}

void PatientTrendView::clearChart() {
    m_chart->removeAllSeries();
    for (QValueAxis* axis : m_valueAxes) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_valueAxes.clear();
    m_labels.clear();
}

void PatientTrendView::addLine(const TrendLine& line, const QColor& colour, QValueAxis* axis,
                               ValueRange& range) {
    bool legendShown = false;
    for (const QList<QPointF>& segment : line.segments) {
        auto* series = new QLineSeries;
        series->setName(line.label);
        series->append(segment);
        series->setPen(QPen(colour, 2));
        series->setPointsVisible(true);
        m_chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(axis);
        // Segments after a break continue the same line: one legend entry for all.
        const QList<QLegendMarker*> markers = m_chart->legend()->markers(series);
        for (QLegendMarker* marker : markers)
            marker->setVisible(!legendShown);
        legendShown = true;
        for (const QPointF& point : segment) {
            range.low = range.empty ? point.y() : std::min(range.low, point.y());
            range.high = range.empty ? point.y() : std::max(range.high, point.y());
            range.empty = false;
        }
    }
}

void PatientTrendView::fitAxis(QValueAxis* axis, const ValueRange& range) {
    double low = range.low;
    double high = range.high;
    if (range.empty || high - low < 1e-9) {
        const double centre = range.empty ? 0.5 : low;
        low = std::min(0.0, centre - 0.5);
        high = centre + 0.5;
    } else {
        const double margin = (high - low) * 0.05;
        low = low >= 0 && low - margin < 0 ? 0 : low - margin;
        high += margin;
    }
    axis->setRange(low, high);
    axis->applyNiceNumbers();
}

void PatientTrendView::showEmptyText(bool noLines) {
    QString text;
    if (m_series.fileName().isEmpty())
        text = tr("No patient selected");
    else if (!m_series.problem().isEmpty())
        text = tr("No values to show: %1").arg(m_series.problem());
    else if (noLines)
        text = tr("No values in the last 24 hours");
    m_empty->setText(text);
    m_empty->setVisible(!text.isEmpty());
}
