#include "PatientTrendSeries.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <exception>

#include "OleDateTime.h"
#include "StoredFileParser.h"
#include "TarvoError.h"

qsizetype TrendLine::pointCount() const {
    qsizetype count = 0;
    for (const QList<QPointF>& segment : segments)
        count += segment.size();
    return count;
}

const QStringList& PatientTrendSeries::TrendParameters() {
    static const QStringList parameters = {QStringLiteral("Glucose"),   QStringLiteral("Lactate"),
                                           QStringLiteral("Pyruvate"),  QStringLiteral("Glycerol"),
                                           QStringLiteral("Glutamate"), QStringLiteral("LPRatio"),
                                           QStringLiteral("LGRatio")};
    return parameters;
}

QString PatientTrendSeries::DisplayName(const QString& parameter) {
    if (parameter.compare(QLatin1String("LPRatio"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("L/P ratio");
    if (parameter.compare(QLatin1String("LGRatio"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("L/G ratio");
    return parameter;
}

void PatientTrendSeries::setFileName(const QString& fileName) {
    if (fileName == m_fileName)
        return;
    m_fileName = fileName;
    m_read = false;
    m_stamp = {};
    m_lines.clear();
    m_problem.clear();
}

PatientTrendSeries::Stamp PatientTrendSeries::currentStamp() const {
    const QFileInfo info(m_fileName);
    if (m_fileName.isEmpty() || !info.isFile())
        return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch()};
}

bool PatientTrendSeries::refresh() {
    const Stamp stamp = currentStamp();
    if (m_read && stamp == m_stamp)
        return false;
    m_stamp = stamp;
    m_read = true;
    read();
    return true;
}

namespace {

int parameterRank(const QString& parameter) {
    const QStringList& parameters = PatientTrendSeries::TrendParameters();
    for (int i = 0; i < parameters.size(); ++i)
        if (parameters[i].compare(parameter, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TrendLine lineOf(const TParameterSerie& serie) {
    TrendLine line;
    line.parameter = serie.Identity.ParameterName();
    line.place = serie.Identity.MeasurementPlace();
    line.unit = serie.Unit.trimmed();
    line.label = PatientTrendSeries::DisplayName(line.parameter);
    if (!line.place.isEmpty())
        line.label += u' ' + line.place;
    if (!line.unit.isEmpty())
        line.label += QStringLiteral(" (") + line.unit + u')';
    QList<QPointF> segment;
    if (serie.Points) {
        for (const TSeriesPoint& point : serie.Points->Points) {
            if (const auto* data = std::get_if<TTarvoDataPoint>(&point)) {
                const QDateTime time = OleDateTime::toDateTime(data->X);
                if (time.isValid() && std::isfinite(data->Y))
                    segment.append(QPointF(double(time.toMSecsSinceEpoch()), data->Y));
            } else if (!segment.isEmpty()) {
                line.segments.push_back(std::move(segment));
                segment = {};
            }
        }
    }
    if (!segment.isEmpty())
        line.segments.push_back(std::move(segment));
    return line;
}

} // namespace

void PatientTrendSeries::read() {
    ++m_readCount;
    m_lines.clear();
    m_problem.clear();
    if (!m_stamp.exists) {
        m_problem = QStringLiteral("No data file");
        return;
    }
    if (m_stamp.size > kMaximumFileSize) {
        m_problem = QStringLiteral("Data file too large to show");
        return;
    }
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_problem = QStringLiteral("Data file cannot be read: ") + file.errorString();
        return;
    }
    const QByteArray data = file.readAll();
    TStoredFileContent content;
    try {
        // A file being appended to may end in a cut record; what precedes it is shown.
        content = StoredFileParser::parseTolerant(data);
    } catch (const std::exception& error) {
        m_problem =
            QStringLiteral("Data file cannot be read: ") + describeError(error);
        return;
    }
    std::vector<std::pair<int, TrendLine>> ranked;
    for (const TParameterSerie* serie : content.series()) {
        const int rank = parameterRank(serie->Identity.ParameterName());
        if (rank >= 0)
            ranked.emplace_back(rank, lineOf(*serie));
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& left, const auto& right) {
        return left.first != right.first ? left.first < right.first
                                         : left.second.place < right.second.place;
    });
    for (auto& [rank, line] : ranked)
        m_lines.push_back(std::move(line));
    if (m_lines.empty() && content.series().empty() && !content.problems.empty())
        m_problem = QStringLiteral("Data file cannot be read: ") + content.problems.front().text;
}

std::vector<TrendLine> PatientTrendSeries::linesBetween(const QDateTime& from,
                                                        const QDateTime& to) const {
    const double first = double(from.toMSecsSinceEpoch());
    const double last = double(to.toMSecsSinceEpoch());
    std::vector<TrendLine> lines;
    for (const TrendLine& line : m_lines) {
        TrendLine shown = line;
        shown.segments.clear();
        for (const QList<QPointF>& segment : line.segments) {
            QList<QPointF> inside;
            for (const QPointF& point : segment)
                if (point.x() >= first && point.x() <= last)
                    inside.append(point);
            if (!inside.isEmpty())
                shown.segments.push_back(std::move(inside));
        }
        if (!shown.segments.empty())
            lines.push_back(std::move(shown));
    }
    return lines;
}

std::vector<TrendLine> PatientTrendSeries::lastDay(const QDateTime& now) const {
    return linesBetween(now.addSecs(-24 * 3600), now);
}
