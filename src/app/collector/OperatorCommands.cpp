#include "OperatorCommands.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "Collector.h"
#include "PatientIdentity.h"
#include "TarvoError.h"
#include "Windows1252.h"
#include "XmlArchive.h"

namespace {

OperatorAnswer done(const QString& text) {
    return {text, false};
}

OperatorAnswer refused(const QString& text) {
    return {text, true};
}

QJsonArray patientsJson(const PatientListModel& list) {
    QJsonArray patients;
    for (int i = 0; i < list.Count(); ++i) {
        const PatientEntry& entry = list.At(i);
        patients.append(QJsonObject{{QStringLiteral("caption"), entry.Caption},
                                    {QStringLiteral("collected"), entry.Checked},
                                    {QStringLiteral("sending"), entry.Enabled}});
    }
    return patients;
}

// The cells that hold a value, column by column.
QJsonArray latestValuesJson(const LatestValueGrid& grid) {
    QJsonArray values;
    for (int column = 0; column < grid.Columns(); ++column) {
        for (int row = 0; row < grid.Rows(); ++row) {
            const QString cell = grid.Cell(column, row);
            if (!cell.isEmpty())
                values.append(cell);
        }
    }
    return values;
}

QJsonObject reportJson(const ReportStatus& report) {
    QJsonObject object{{QStringLiteral("configured"), report.configured},
                       {QStringLiteral("connection"), report.connection},
                       {QStringLiteral("queuedMessages"), qint64(report.queued)},
                       {QStringLiteral("acknowledged"), report.acknowledged},
                       {QStringLiteral("refused"), report.refused}};
    if (report.configured) {
        object.insert(QStringLiteral("host"), report.host);
        object.insert(QStringLiteral("port"), report.port);
    }
    if (report.lastAcknowledged.isValid())
        object.insert(QStringLiteral("lastAcknowledged"),
                      report.lastAcknowledged.toString(Qt::ISODate));
    return object;
}

} // namespace

const std::vector<OperatorCommands::Command>& OperatorCommands::Commands() {
    static const std::vector<Command> commands = {
        {"status", "[--json]"}, {"start", ""},      {"stop", ""},       {"tick", "ID"},
        {"untick", "ID"},       {"recreate", "ID"}, {"import", "ID"},   {"media-drive", "LETTER"},
        {"archives", ""},       {"media", ""},      {"test-lines", ""}, {"sample-message", ""},
        {"show", ""},
    };
    return commands;
}

QString OperatorCommands::helpText() {
    QStringList listed;
    for (const Command& command : Commands())
        listed << (QLatin1String(command.verb) +
                   (*command.argument ? u' ' + QLatin1String(command.argument) : QString()));
    return QStringLiteral("commands: ") + listed.join(QStringLiteral(", "));
}

OperatorAnswer OperatorCommands::Execute(const QString& request) {
    OperatorAnswer answer = execute(request);
    const QString& notStoring = m_collector.state().notStoring;
    if (!notStoring.isEmpty()) {
        answer.notStoring = true;
        if (!answer.text.contains(notStoring))
            answer.text += u'\n' + notStoring;
    }
    return answer;
}

OperatorAnswer OperatorCommands::execute(const QString& request) {
    const QString trimmed = request.trimmed();
    const qsizetype space = trimmed.indexOf(u' ');
    const QString verb = (space < 0 ? trimmed : trimmed.left(space)).toLower();
    const QString argument = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    const bool needsArgument = verb == QLatin1String("tick") || verb == QLatin1String("untick") ||
                               verb == QLatin1String("recreate") ||
                               verb == QLatin1String("import") ||
                               verb == QLatin1String("media-drive");
    if (needsArgument && argument.isEmpty())
        return refused(verb + QStringLiteral(" needs an argument; ") + helpText());

    if (verb == QLatin1String("show")) {
        emit m_collector.showWindowRequested();
        return done(QStringLiteral("ok"));
    }
    if (!m_collector.operational())
        return refused(QStringLiteral("The collector did not start completely; see the event log"));
    if (verb == QLatin1String("status") && argument == QLatin1String("--json"))
        return done(QString::fromUtf8(QJsonDocument(StatusJson()).toJson(QJsonDocument::Indented)));
    if (verb == QLatin1String("status"))
        return done(Status());
    if (verb == QLatin1String("start")) {
        m_collector.collectionControl().start();
        return done(QStringLiteral("Collection: ") +
                    collectionStateName(m_collector.state().collection));
    }
    if (verb == QLatin1String("stop")) {
        m_collector.collectionControl().stop();
        return done(QStringLiteral("Collection: ") +
                    collectionStateName(m_collector.state().collection));
    }
    if (verb == QLatin1String("tick") || verb == QLatin1String("untick"))
        return tick(argument, verb == QLatin1String("tick"));
    if (verb == QLatin1String("recreate"))
        return recreate(argument);
    if (verb == QLatin1String("import"))
        return import(argument);
    if (verb == QLatin1String("media-drive")) {
        if (!m_collector.setExternalMediaDrive(argument))
            return refused(QStringLiteral("Not changed: ") +
                           m_collector.state().externalMediaMenuCaption);
        return done(m_collector.state().externalMediaMenuCaption);
    }
    if (verb == QLatin1String("archives")) {
        const PatientFolderListing listing = m_collector.patientsWithArchive();
        return done((QStringList{listing.caption} + listing.patients).join(QStringLiteral("\n  ")));
    }
    if (verb == QLatin1String("media"))
        return media();
    if (verb == QLatin1String("test-lines"))
        return testLines();
    if (verb == QLatin1String("sample-message"))
        return sampleMessage();
    return refused(QStringLiteral("unknown command: ") + trimmed + QStringLiteral("; ") +
                   helpText());
}

OperatorAnswer OperatorCommands::tick(const QString& patientId, bool ticked) {
    if (!m_collector.checkList().SetTicked(patientId, ticked))
        return refused(QStringLiteral("Unknown patient ") + patientId +
                       QStringLiteral(": not in the patient list"));
    return done(patientId + (ticked ? QStringLiteral(" ticked") : QStringLiteral(" unticked")));
}

OperatorAnswer OperatorCommands::recreate(const QString& patientId) {
    // A rebuild first removes the data file; it runs only for a patient whose archive holds
    // documents to rebuild it from.
    const CollectorState& state = m_collector.state();
    if (PatientIdentity::IsUnsafeFolderName(patientId))
        return refused(QStringLiteral("Patient ID \"") + patientId +
                       QStringLiteral("\" cannot name a patient folder"));
    QString folder;
    try {
        folder = PatientIdentity::PatientFolderFor(patientId, state.dataRoot, state.idReduction);
    } catch (const std::exception& error) {
        return refused(QStringLiteral("Recreate refused: ") + describeError(error));
    }
    if (!QDir(folder).exists() && m_collector.patients().IndexOf(patientId) < 0)
        return refused(QStringLiteral("Unknown patient ") + patientId +
                       QStringLiteral(": no patient folder ") + QDir::toNativeSeparators(folder));
    const QString archive = folder + QLatin1String(XmlArchive::kFolderName);
    if (QDir(archive)
            .entryList({QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden | QDir::System)
            .isEmpty())
        return refused(QStringLiteral("Nothing recreated for ") + patientId +
                       QStringLiteral(": no archived documents in ") +
                       QDir::toNativeSeparators(archive));
    try {
        const RecreationOutcome outcome = m_collector.recreatePatientData(patientId);
        if (!outcome.heldBy.isEmpty())
            return refused(QStringLiteral("Data for ") + patientId +
                           QStringLiteral(" is being rebuilt by ") + outcome.heldBy +
                           QStringLiteral("; it is rebuilt here again when that has ended"));
        if (outcome.interrupted)
            return refused(QStringLiteral("The rebuild of ") + patientId +
                           QStringLiteral(" was ended by the stop"));
        if (!outcome.started)
            return refused(QStringLiteral("Unable to recreate data for ") + outcome.folder);
        // A pass that could read none of the documents rebuilt nothing.
        return {recreationSummary(patientId, outcome), outcome.documents == outcome.skipped};
    } catch (const std::exception& error) {
        return refused(QStringLiteral("Recreate failed: ") + describeError(error));
    }
}

OperatorAnswer OperatorCommands::import(const QString& patientId) {
    const ImportOutcome outcome = m_collector.importFromExternalMedia(patientId);
    if (!outcome.imported)
        return refused(outcome.message);
    return done(QStringLiteral("Copied ") + QString::number(outcome.copied) +
                QStringLiteral(" XML files for ") + patientId + QStringLiteral(" into ") +
                QDir::toNativeSeparators(outcome.targetArchive));
}

OperatorAnswer OperatorCommands::media() {
    if (m_collector.externalMediaRoot().isEmpty())
        return refused(QStringLiteral("No external media drive is set (media-drive LETTER)"));
    const PatientFolderListing listing = m_collector.patientsOnExternalMedia();
    return done((QStringList{listing.caption} + listing.patients).join(QStringLiteral("\n  ")));
}

QJsonObject OperatorCommands::StatusJson() const {
    const CollectorState& state = m_collector.state();
    QJsonObject status{{QStringLiteral("collection"), collectionStateName(state.collection)}};
    if (!m_collector.operational()) {
        status.insert(QStringLiteral("started"), false);
        return status;
    }
    ServerSocketTarvo& server = m_collector.analyzerServer();
    status.insert(QStringLiteral("analyzerServer"),
                  QJsonObject{{QStringLiteral("state"), server.StateText()},
                              {QStringLiteral("listening"), server.Active()},
                              {QStringLiteral("port"), server.Port()},
                              {QStringLiteral("link"), m_collector.status().connectionLabel()}});
    status.insert(QStringLiteral("connections"),
                  QJsonArray::fromStringList(m_collector.connectionList().lines()));
    status.insert(QStringLiteral("patients"), patientsJson(m_collector.patients()));
    status.insert(QStringLiteral("latestValues"), latestValuesJson(m_collector.latestValues()));
    status.insert(QStringLiteral("resultsProcessed"), m_collector.resultProcessor().ResultCalls());
    status.insert(QStringLiteral("rebuildsWaiting"), m_collector.waitingRebuilds());
    if (m_collector.hasLineRelay()) {
        LineRelay& relay = m_collector.lineRelay();
        status.insert(
            QStringLiteral("relay"),
            QJsonObject{{QStringLiteral("connected"), relay.Transport().IsOpen()},
                        {QStringLiteral("queuedMessages"), relay.Queue().Messages()},
                        {QStringLiteral("deadLetters"), relay.Transport().DeadLetters()}});
    }
    if (const ObservationReporter* reporter = m_collector.reporter())
        status.insert(QStringLiteral("report"), reportJson(reporter->Status()));
    return status;
}

QString OperatorCommands::Status() const {
    const CollectorState& state = m_collector.state();
    QStringList lines;
    lines << QStringLiteral("Collection: ") + collectionStateName(state.collection);
    if (!state.notStoring.isEmpty())
        lines << state.notStoring;
    ServerSocketTarvo& server = m_collector.analyzerServer();
    lines << QStringLiteral("Analyzer server: ") + server.StateText() + QStringLiteral(" (") +
                 m_collector.status().connectionLabel() + u')';
    lines << QStringLiteral("Data-host server: ") + m_collector.dataHostServer().StateText();
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
    if (const ObservationReporter* reporter = m_collector.reporter())
        lines << QStringLiteral("Reporting to the integration engine: ") + reporter->StatusLine();
    return lines.join(u'\n');
}

OperatorAnswer OperatorCommands::testLines() {
    const QString path = m_collector.state().logFolder + QLatin1String(kTestLinesFile);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("Cannot read ") + path + QStringLiteral(": ") +
                       file.errorString());
    QStringList lines = Windows1252::decode(file.readAll())
                            .split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const qsizetype count = lines.size();
    std::deque<LineBatch>& queue = m_collector.lineQueue();
    queue.clear();
    queue.push_back(LineBatch{QLatin1String(kTestLinesFile), std::move(lines), false});
    QCoreApplication::postEvent(&m_collector, new QEvent(Collector::kLinesWaitingEvent));
    return done(QString::number(count) + QStringLiteral(" lines of ") + path +
                QStringLiteral(" wait for the line handler"));
}

OperatorAnswer OperatorCommands::sampleMessage() {
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
        return refused(QStringLiteral("Cannot write ") + path + QStringLiteral(": ") +
                       file.errorString());
    return done(QStringLiteral("Sample message written to ") + path);
}
