#include "PatientDataFile.h"

#include "TSaveItNew.h"
#include "ZelTypes.h"

namespace {

QString patientDataFileName(const QString& folder, int attempt) {
    const QString base =
        attempt == 0 ? QStringLiteral("Tarvo") : QStringLiteral("Tarvo") + QString::number(attempt);
    return folder + base + QStringLiteral(".pil");
}

// Reads the series of the opened file into the opening and checks that the file is this
// monitor's and that its series are numbered 0, 1, 2, ... in file order.
void loadSeries(TSaveItNew& writer, const QString& fileName, TPatientDataFileOpening& opening) {
    opening.CurrentSeries.clear();
    writer.SetFileName(fileName); // OpenMonitorFile has just read (or written) it
    bool anotherMonitor = false;
    bool indexGap = false;
    const TStoredFileContent& content = writer.Content();
    for (const auto& object : content.objects) {
        if (const auto* monitor = dynamic_cast<const TMonitorInfo*>(object.get())) {
            if (monitor->MonitorName != QLatin1String(kPatientDataMonitorName))
                anotherMonitor = true;
        } else if (const auto* serie = dynamic_cast<const TParameterSerie*>(object.get())) {
            if (serie->Index != qint16(opening.CurrentSeries.size()))
                indexGap = true;
            opening.CurrentSeries.push_back(serie->DefinitionOnly());
        }
    }
    if (anotherMonitor)
        throw EZelError(ZelText::kAnotherMonitor);
    if (indexGap)
        throw EZelError(ZelText::kIndexGap);
    for (const TFileProblem& problem : content.problems) {
        if (problem.kind == TFileProblem::Kind::TruncatedRecord ||
            problem.kind == TFileProblem::Kind::Unreadable)
            opening.notices << fileName + QStringLiteral(": ") + problem.text;
    }
}

} // namespace

TPatientDataFileOpening OpenPatientDataFile(TSaveItNew& writer, const QString& folder,
                                            const QString& patientFullName,
                                            const QString& patientId) {
    TPatientDataFileOpening opening;
    for (int attempt = 0; attempt < kPatientDataFileAttempts; ++attempt) {
        const QString fileName = writer.StandInFor(patientDataFileName(folder, attempt));
        try {
            writer.SetFileName(fileName);
            writer.OpenMonitorFile(QLatin1String(kPatientDataMonitorName), QString(), false,
                                   patientFullName, patientId);
            loadSeries(writer, fileName, opening);
            opening.opened = true;
            opening.fileName = fileName;
            return opening;
        } catch (const std::exception& error) {
            opening.failures << fileName + QStringLiteral(": ") +
                                    QString::fromLocal8Bit(error.what());
            opening.CurrentSeries.clear();
            opening.notices.clear();
        }
    }
    writer.SetFileName(QString());
    return opening;
}
