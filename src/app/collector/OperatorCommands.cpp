#include "OperatorCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "Collector.h"
#include "Windows1252.h"

QString OperatorCommands::helpText() {
    return QStringLiteral("commands: status, start, stop, tick ID, untick ID, recreate ID, "
                          "import ID, media-drive LETTER, archives, media, test-lines, "
                          "sample-message, show");
}

QString OperatorCommands::Execute(const QString& request) {
    const QString trimmed = request.trimmed();
    const qsizetype space = trimmed.indexOf(u' ');
    const QString verb = (space < 0 ? trimmed : trimmed.left(space)).toLower();
    const QString argument = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    const bool needsArgument = verb == QLatin1String("tick") || verb == QLatin1String("untick") ||
                               verb == QLatin1String("recreate") ||
                               verb == QLatin1String("import") ||
                               verb == QLatin1String("media-drive");
    if (needsArgument && argument.isEmpty())
        return verb + QStringLiteral(" needs an argument; ") + helpText();

    if (verb == QLatin1String("show")) {
        emit m_collector.showWindowRequested();
        return QStringLiteral("ok");
    }
    if (!m_collector.operational())
        return QStringLiteral("The collector did not start completely; see the event log");
    if (verb == QLatin1String("status"))
        return Status();
    if (verb == QLatin1String("start")) {
        m_collector.collectionControl().Start();
        return QStringLiteral("Collection: ") + collectionStateName(m_collector.state().collection);
    }
    if (verb == QLatin1String("stop")) {
        m_collector.collectionControl().Stop();
        return QStringLiteral("Collection: ") + collectionStateName(m_collector.state().collection);
    }
    if (verb == QLatin1String("tick") || verb == QLatin1String("untick"))
        return tick(argument, verb == QLatin1String("tick"));
    if (verb == QLatin1String("recreate"))
        return recreate(argument);
    if (verb == QLatin1String("import"))
        return import(argument);
    if (verb == QLatin1String("media-drive")) {
        if (!m_collector.setExternalMediaDrive(argument))
            return QStringLiteral("Not changed: ") + m_collector.state().externalMediaMenuCaption;
        return m_collector.state().externalMediaMenuCaption;
    }
    if (verb == QLatin1String("archives") || verb == QLatin1String("media")) {
        const PatientFolderListing listing = verb == QLatin1String("archives")
                                                 ? m_collector.patientsWithArchive()
                                                 : m_collector.patientsOnExternalMedia();
        QString answer = listing.caption;
        for (const QString& patient : listing.patients)
            answer += QStringLiteral("\n  ") + patient;
        return answer;
    }
    if (verb == QLatin1String("test-lines"))
        return testLines();
    if (verb == QLatin1String("sample-message"))
        return sampleMessage();
    return QStringLiteral("unknown command: ") + trimmed + QStringLiteral("; ") + helpText();
}

QString OperatorCommands::tick(const QString& patientId, bool ticked) {
    if (!m_collector.checkList().SetTicked(patientId, ticked))
        return QStringLiteral("No patient ") + patientId + QStringLiteral(" in the patient list");
    return patientId + (ticked ? QStringLiteral(" ticked") : QStringLiteral(" unticked"));
}

QString OperatorCommands::recreate(const QString& patientId) {
    try {
        const RecreationOutcome outcome = m_collector.recreatePatientData(patientId);
        if (!outcome.started)
            return QStringLiteral("Unable to recreate data for ") + outcome.folder;
        return recreationSummary(patientId, outcome);
    } catch (const std::exception& error) {
        return QStringLiteral("Recreate failed: ") + QString::fromLocal8Bit(error.what());
    }
}

QString OperatorCommands::import(const QString& patientId) {
    const ImportOutcome outcome = m_collector.importFromExternalMedia(patientId);
    if (!outcome.imported)
        return outcome.message;
    return QStringLiteral("Copied ") + QString::number(outcome.copied) +
           QStringLiteral(" XML files for ") + patientId + QStringLiteral(" into ") +
           QDir::toNativeSeparators(outcome.targetArchive);
}

QString OperatorCommands::Status() const {
    const CollectorState& state = m_collector.state();
    QStringList lines;
    lines << QStringLiteral("Collection: ") + collectionStateName(state.collection);
    ServerSocketTarvo& server = m_collector.analyzerServer();
    lines << QStringLiteral("Analyzer server: ") +
                 (server.Active()
                      ? QStringLiteral("listening on port ") + QString::number(server.Port())
                      : QStringLiteral("not listening")) +
                 QStringLiteral(" (") + m_collector.status().connectionLabel() + u')';
    lines << QStringLiteral("Connections: ") + QString::number(server.ConnectionCount());
    for (const QString& line : m_collector.connectionList().lines())
        lines << QStringLiteral("  ") + line;
    const PatientListModel& patients = m_collector.patients();
    lines << QStringLiteral("Patients: ") + QString::number(patients.Count());
    for (int i = 0; i < patients.Count(); ++i) {
        const PatientEntry& entry = patients.At(i);
        lines << QStringLiteral("  [") + (entry.Checked ? u'x' : u' ') + QStringLiteral("] ") +
                     entry.Caption + (entry.Enabled ? QStringLiteral(" (sending)") : QString());
    }
    lines << QStringLiteral("Latest values:");
    const LatestValueGrid& grid = m_collector.latestValues();
    for (int column = 0; column < grid.Columns(); ++column) {
        for (int row = 0; row < grid.Rows(); ++row) {
            const QString cell = grid.Cell(column, row);
            if (!cell.isEmpty())
                lines << QStringLiteral("  ") + cell;
        }
    }
    lines << QStringLiteral("Results processed: ") +
                 QString::number(m_collector.resultProcessor().ResultCalls());
    lines << QStringLiteral("Rebuilds waiting: ") + QString::number(m_collector.waitingRebuilds());
    return lines.join(u'\n');
}

QString OperatorCommands::testLines() {
    const QString path = m_collector.state().logFolder + QLatin1String(kTestLinesFile);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read ") + path + QStringLiteral(": ") + file.errorString();
    QStringList& lines = m_collector.lineQueue();
    lines.clear();
    lines = Windows1252::decode(file.readAll())
                .split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const qsizetype count = lines.size();
    QCoreApplication::postEvent(&m_collector, new QEvent(Collector::kLinesWaitingEvent));
    return QString::number(count) + QStringLiteral(" lines of ") + path +
           QStringLiteral(" wait for the line handler");
}

QString OperatorCommands::sampleMessage() {
    static const char* const lines[] = {
        "H|\\^~&|||TARVOflex^SN0001||||||||1.0|20100423105919",
        "P|||0001||Sample^Patient",
        "O|||Sample #^||||20100423105743||||||||MD Sample^II",
        "R||^^^Pyruvate^|226.0874|\xB5M||||OK|||20100423105743",
        "L|1|N",
    };
    const QString path = m_collector.state().logFolder + QLatin1String(kSampleMessageFile);
    QByteArray text;
    for (const char* line : lines)
        text += QByteArray(line) + "\r\r\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + file.errorString();
    return QStringLiteral("Sample message written to ") + path;
}
