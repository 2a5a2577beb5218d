#include "PatientDataFile.h"

#include "FileStamp.h"
#include "TSaveItNew.h"
#include "TarvoError.h"
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

// A file of another patient or monitor is passed over as a matter of course; every other reason
// (damage, an unreadable file) is worth a line in the event log.
bool belongsToAnother(const QString& reason) {
    return reason.startsWith(QLatin1String(ZelText::kFileDoesNotMatch)) ||
           reason == QLatin1String(ZelText::kAnotherMonitor);
}

} // namespace

TPatientDataFileOpening OpenPatientDataFile(TSaveItNew& writer, const QString& folder,
                                            const QString& patientFullName,
                                            const QString& patientId) {
    TPatientDataFileOpening opening;
    QStringList passedOver;
    // While a data file is rebuilt, the file being built is the only one written: no other
    // patient's file and no other name beside it.
    const QString firstName = patientDataFileName(folder, 0);
    if (writer.HasStandIn() && writer.StandInFor(firstName) == firstName) {
        writer.SetFileName(QString());
        opening.failures << firstName + QStringLiteral(": only ") + writer.StandIn() +
                                QStringLiteral(" is written while it is rebuilt");
        return opening;
    }
    const int attempts = writer.HasStandIn() ? 1 : kPatientDataFileAttempts;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const QString fileName = writer.StandInFor(patientDataFileName(folder, attempt));
        try {
            writer.SetFileName(fileName);
            writer.OpenMonitorFile(QLatin1String(kPatientDataMonitorName), QString(), false,
                                   patientFullName, patientId);
            loadSeries(writer, fileName, opening);
            opening.opened = true;
            opening.fileName = fileName;
            opening.notices = passedOver + opening.notices;
            return opening;
        } catch (const std::exception& error) {
            const QString reason = describeError(error);
            opening.failures << fileName + QStringLiteral(": ") + reason;
            opening.CurrentSeries.clear();
            opening.notices.clear();
            if (FileStamp::of(fileName).size <= 0) {
                // It could not be created (a full disk): the next names would fare no better,
                // and a value stored in one of them would split the patient's data.
                break;
            }
            if (!belongsToAnother(reason) && writer.FirstReportOf(fileName))
                passedOver << fileName + QStringLiteral(" cannot be used and is left as it is (") +
                                  reason + QStringLiteral("); the next file name is tried");
        }
    }
    writer.SetFileName(QString());
    opening.notices = passedOver;
    return opening;
}
