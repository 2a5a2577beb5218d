#include "LineProtocolParser.h"

#include "Clock.h"
#include "CollectorState.h"
#include "DecimalSeparator.h"
#include "EventLog.h"
#include "LineRecord.h"
#include "PatientIdentity.h"
#include "ResultProcessor.h"
#include "TRelayList.h"
#include "TSimpleCounter.h"
#include "TarvoError.h"
#include "Windows1252.h"

#include <QFile>

namespace {

constexpr QChar kEot = u'\x04';
constexpr auto kTimeTextFormat = "yyyyMMddHHmmss";

QString placeName(const QString& label) {
    if (label == QLatin1String("AutoControlLow"))
        return QStringLiteral("Low");
    if (label == QLatin1String("AutoControlHigh"))
        return QStringLiteral("Elevated");
    return label;
}

} // namespace

// What lives for one batch only.
struct LineProtocolParser::Batch {
    QString messageKind;
    QString sampleKind;
    QString analyzer;
    QString locationLabel;
    QString status;
    bool closingRecordSeen = false;
    bool timeFromResult = false;
    bool eventMessage() const { return messageKind == QLatin1String(kEventText); }
};

LineProtocolParser::LineProtocolParser(LineParserContext context)
    : m_context(std::move(context)),
      m_events(m_context.writer, m_context.state, m_context.processor.Progress(), m_context.log,
               m_context.clock, &m_context.processor) {}

void LineProtocolParser::ProcessLineHL7(std::deque<LineBatch>& batches) {
    if (m_walking)
        return; // the walk that runs takes these batches when it is done
    m_walking = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_walking};
    if (m_context.linkPresent)
        m_context.linkPresent();
    while (!batches.empty()) {
        const LineBatch batch = std::move(batches.front());
        batches.pop_front();
        walk(batch);
    }
    saveRelayMessage();
}

void LineProtocolParser::ProcessLineHL7(const QString& source, QStringList lines) {
    std::deque<LineBatch> batches;
    batches.push_back(LineBatch{source, std::move(lines), false});
    ProcessLineHL7(batches);
}

void LineProtocolParser::walk(const LineBatch& source) {
    // The state of this source only; it goes back when the batch is done.
    const auto known = m_sources.find(source.source);
    m_current = known != m_sources.end() ? known->second : Carried{};
    Batch batch;
    const QStringList& lines = source.lines;
    qsizetype first = 0; // the first line of the message being walked
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const bool end = lines.at(index) == QString(kEot);
        try {
            line(lines.at(index), batch);
        } catch (const std::exception& error) {
            failed(lines, first, index, source.source, describeError(error));
            // The rest of the failed message is not walked.
            while (index < lines.size() && lines.at(index) != QString(kEot))
                ++index;
            batch.closingRecordSeen = false;
            first = index + 1;
            continue;
        }
        if (end)
            first = index + 1;
    }
    if (source.closed)
        m_sources.erase(source.source);
    else
        m_sources[source.source] = m_current;
}

void LineProtocolParser::failed(const QStringList& lines, qsizetype first, qsizetype at,
                                const QString& source, const QString& reason) {
    EventLog& log = m_context.log;
    ++m_failedMessages;
    const QString text = QStringLiteral("Exception in ProcessLineHL7. Exception = ") + reason +
                         QStringLiteral(", TheOriginalLine = ") + lines.at(at) +
                         QStringLiteral(" at line ") + QString::number(at);
    log.writeLog(text);
    log.writeExtendedLog(text);
    log.writeExtendedLog(QStringLiteral("TheLines list start"));
    for (qsizetype i = first; i <= at; ++i)
        log.writeExtendedLog(QStringLiteral("Line i=") + QString::number(i) + u'-' + lines.at(i));
    log.writeExtendedLog(QStringLiteral("TheLines list stop"));
    // The events and the relay transfer of the failed message would otherwise join the next
    // message.
    m_events.ClearEvents();
    if (m_context.relay)
        m_context.relay->AbandonMessage();
    // The whole message is kept for inspection.
    qsizetype last = at;
    while (last < lines.size() && lines.at(last) != QString(kEot))
        ++last;
    const QString path = m_context.state.logFolder + QLatin1String(kFailedFileName);
    QFile file(path);
    if (file.size() > kFailedFileLimit) {
        QFile::remove(path + QStringLiteral(".old"));
        QFile::rename(path, path + QStringLiteral(".old"));
    }
    QByteArray copy = "# " + m_context.clock.now().toString(Qt::ISODate).toLatin1() + " from " +
                      Windows1252::encode(source) + ": " + Windows1252::encode(reason) + "\r\n";
    for (qsizetype i = first; i <= last && i < lines.size(); ++i)
        copy += Windows1252::encode(lines.at(i)) + "\r\n";
    const bool kept = file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                      file.write(copy) == copy.size() && file.flush();
    log.writeLog(QStringLiteral("The message from %1 (%2 lines) was not stored; ")
                     .arg(source)
                     .arg(std::min(last, lines.size() - 1) - first + 1) +
                 (kept ? QStringLiteral("its lines were written to ")
                       : QStringLiteral("its lines could not be written to ")) +
                 path);
}

void LineProtocolParser::refused(const QString& what, const QString& line) {
    ++m_refusedResults;
    m_context.log.writeLog(QStringLiteral("Result not stored: ") + what +
                           QStringLiteral(" (patient ") + m_current.patientId +
                           QStringLiteral(", line ") + line + u')');
}

void LineProtocolParser::line(const QString& text, Batch& batch) {
    if (text.isEmpty())
        return;
    switch (text.at(0).unicode()) {
    case 4:
        endOfMessage(batch);
        break;
    case 'H':
        header(text, batch);
        break;
    case 'L':
        if (m_context.state.protocol == AnalyzerProtocol::AstmE1381) {
            relay(text);
            batch.closingRecordSeen = true;
        }
        break;
    case 'O':
        order(text, batch);
        break;
    case 'P':
        patient(text, batch);
        break;
    case 'R':
        result(text, batch);
        break;
    default:
        break;
    }
}

void LineProtocolParser::endOfMessage(Batch& batch) {
    if (!m_events.EventList().empty()) {
        m_context.processor.SetAnalyzer(batch.analyzer);
        writeEvents();
    } else if (m_context.state.protocol == AnalyzerProtocol::AstmE1381) {
        if (!batch.closingRecordSeen)
            relay(QLatin1String(kClosingRecord));
        relayControl(TRelayList::kEot);
    }
    batch.closingRecordSeen = false;
}

void LineProtocolParser::header(const QString& text, Batch& batch) {
    batch.timeFromResult = true;
    if (text.size() > 1)
        m_current.fieldDelimiter = text.at(1);
    if (text.size() > 3)
        m_current.componentDelimiter = text.at(3);
    m_current.lastName.clear();
    m_current.firstName.clear();
    batch.analyzer = component(field(text, 5), 2);
    batch.messageKind = field(text, 11);
    if (!batch.eventMessage() && m_context.state.protocol == AnalyzerProtocol::AstmE1381) {
        relayControl(TRelayList::kEnq);
        QString relayed = text;
        relayed.remove(4, 1);
        relay(relayed);
    }
}

void LineProtocolParser::order(QString text, Batch& batch) {
    text.replace(QLatin1String("AutoControlLow"), QLatin1String("Low"));
    text.replace(QLatin1String("AutoControlHigh"), QLatin1String("Elevated"));
    if (!batch.eventMessage() && m_context.state.protocol == AnalyzerProtocol::AstmE1381)
        relay(text);
    const QString sample = field(text, 4);
    batch.sampleKind = component(sample, 1);
    m_current.sampleLabel = component(sample, 2);
    const QString location = field(text, 16);
    batch.locationLabel = component(location, 2);
    const QString extra = component(location, 3);
    if (!extra.isEmpty())
        batch.locationLabel += u'^' + extra;
    if (const auto time = LineRecord::MinuteTime(field(text, 8))) {
        m_current.sampleTime = *time;
    } else {
        m_current.sampleTime = m_context.clock.now();
        batch.timeFromResult = true;
    }
}

void LineProtocolParser::patient(const QString& text, Batch& batch) {
    if (!batch.eventMessage() && m_context.state.protocol == AnalyzerProtocol::AstmE1381)
        relay(text);
    m_current.patientId = LineRecord::CleanPatientId(field(text, 4));
    m_current.patientFolder = folderFor(m_current.patientId);
    const QString names = field(text, 6);
    m_current.lastName = component(names, 1);
    m_current.firstName = component(names, 2);
}

void LineProtocolParser::result(const QString& text, Batch& batch) {
    m_current.testName = component(field(text, 3), 4).trimmed();
    if (batch.timeFromResult || batch.eventMessage()) {
        const auto time = LineRecord::SecondTime(field(text, 12));
        m_current.sampleTime = time ? *time : m_context.clock.now();
        batch.timeFromResult = false;
    }
    if (m_current.testName == QLatin1String(kEventItem)) {
        m_events.AddEvent({field(text, 4), m_current.sampleTime});
        return;
    }
    if (m_context.state.protocol == AnalyzerProtocol::AstmE1381)
        relay(text);
    if (m_current.testName.isEmpty()) {
        refused(QStringLiteral("the result names no parameter"), text);
        return;
    }
    const QString valueText = field(text, 4);
    const auto value = LineRecord::Value(valueText, DecimalSeparator::current());
    if (!value) {
        refused(QStringLiteral("the value \"") + valueText + QStringLiteral("\" of ") +
                    m_current.testName + QStringLiteral(" is not a number"),
                text);
        return;
    }
    m_current.value = *value;
    m_current.units = field(text, 5);
    if (m_current.units.startsWith(QChar(0xC2)))
        m_current.units.remove(0, 1);
    batch.status = field(text, 9);
    const QString timeText = m_current.sampleTime.toString(QLatin1String(kTimeTextFormat));
    batch.locationLabel = placeName(batch.locationLabel);

    const Placement placement = placementOf(batch);
    const QString sending = PatientIdentity::Clean(
        m_current.patientId, PatientIdentity::Cleaning::Result, m_context.state.idReduction);
    if (sending != QLatin1String(PatientIdentity::kNull))
        m_lastPatientOf[batch.analyzer] = sending;
    m_context.processor.SetAnalyzer(batch.analyzer);
    m_context.processor.ProcessResult(m_context.writer, m_current.patientId, true, 1,
                                      placement.vialId, batch.status, timeText, m_current.units,
                                      m_current.value, placement.parameterName, placement.place,
                                      m_current.lastName, m_current.firstName);
}

LineProtocolParser::Placement LineProtocolParser::placementOf(const Batch& batch) {
    Placement placement{m_current.testName, batch.locationLabel, m_current.sampleLabel};
    const bool calibration = batch.sampleKind == QLatin1String("CAL #");
    if (!calibration && batch.sampleKind != QLatin1String("QC #"))
        return placement;
    if (calibration)
        placement.parameterName = m_current.testName + QStringLiteral(" Calib");
    m_current.patientId =
        batch.analyzer + (calibration ? QStringLiteral(" CAL") : QStringLiteral(" QC"));
    m_current.lastName =
        calibration ? QStringLiteral("Calibration") : QStringLiteral("AutoControl");
    m_current.patientFolder = folderFor(m_current.patientId);
    placement.place = m_current.sampleLabel;
    placement.vialId = batch.locationLabel;
    return placement;
}

TSaveItNew* LineProtocolParser::WriterForPatient(const QString& patientId) const {
    for (const auto& [analyzer, patient] : m_lastPatientOf) {
        if (patient == patientId)
            return &m_context.writer;
    }
    return nullptr;
}

void LineProtocolParser::relay(const QString& record) {
    if (m_context.relay)
        m_context.relay->Add(Windows1252::encode(record) + '\r');
}

void LineProtocolParser::relayControl(char control) {
    if (m_context.relay)
        m_context.relay->Add(QByteArray(1, control));
}

void LineProtocolParser::writeEvents() {
    const CollectorState& state = m_context.state;
    if (m_current.patientFolder.isEmpty()) {
        m_context.log.writeLog(QStringLiteral("Events for patient ID \"") + m_current.patientId +
                               QStringLiteral("\" not written: the ID cannot name a patient "
                                              "folder"));
    } else {
        m_context.processor.Progress().setCurrentPatient(
            PatientIdentity::Clean(m_current.patientId, PatientIdentity::Cleaning::Result,
                                   state.idReduction),
            m_current.firstName, m_current.lastName, m_current.patientFolder);
        m_events.WriteEventsFile();
    }
    m_events.ClearEvents();
}

void LineProtocolParser::saveRelayMessage() {
    TRelayList* list = m_context.relay;
    if (list == nullptr || list->Count() == 0)
        return;
    if (m_context.counter) {
        TSimpleCounter& counter = *m_context.counter;
        counter.Retreat();
        list->SaveToFile(m_context.state.logFolder + QStringLiteral("RelayMessage") +
                         QString::number(counter.Value()) + QStringLiteral(".txt"));
        counter.Advance();
    }
    if (m_context.startRelayTimer)
        m_context.startRelayTimer();
}

QString LineProtocolParser::field(const QString& text, int number) const {
    return LineRecord::Part(text, m_current.fieldDelimiter, number);
}

QString LineProtocolParser::component(const QString& text, int number) const {
    return LineRecord::Part(text, m_current.componentDelimiter, number);
}

QString LineProtocolParser::folderFor(const QString& id) const {
    const CollectorState& state = m_context.state;
    const QString cleaned =
        PatientIdentity::Clean(id, PatientIdentity::Cleaning::Result, state.idReduction);
    if (cleaned == QLatin1String(PatientIdentity::kNull))
        return {}; // result processing ignores such an ID
    try {
        return PatientIdentity::PatientFolderFor(cleaned, state.dataRoot, state.idReduction);
    } catch (const std::exception&) {
        return {};
    }
}
