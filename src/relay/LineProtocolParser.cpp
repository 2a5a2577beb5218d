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
#include "Windows1252.h"

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
      m_events(m_context.writer, m_context.state, m_context.log, m_context.clock) {}

void LineProtocolParser::ProcessLineHL7(QStringList& theLines) {
    if (m_walking)
        return; // the walk that runs takes these lines when it is done
    m_walking = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_walking};
    if (m_context.linkPresent)
        m_context.linkPresent();
    while (!theLines.isEmpty()) {
        QStringList lines;
        lines.swap(theLines);
        walk(lines);
    }
    saveRelayMessage();
}

void LineProtocolParser::walk(QStringList& lines) {
    Batch batch;
    qsizetype index = 0;
    try {
        for (; index < lines.size(); ++index)
            line(lines.at(index), batch);
    } catch (const std::exception& error) {
        const QString text = QStringLiteral("Exception in ProcessLineHL7. Exception = ") +
                             QString::fromLocal8Bit(error.what()) +
                             QStringLiteral(", TheOriginalLine = ") + lines.at(index) +
                             QStringLiteral(" at line ") + QString::number(index);
        m_context.log.writeLog(text);
        m_context.log.writeExtendedLog(text);
        m_context.log.writeExtendedLog(QStringLiteral("TheLines list start"));
        for (qsizetype i = 0; i <= index; ++i)
            m_context.log.writeExtendedLog(QStringLiteral("Line i=") + QString::number(i) + u'-' +
                                           lines.at(i));
        m_context.log.writeExtendedLog(QStringLiteral("TheLines list stop"));
        // The events of the failed message would otherwise land in the next message's file.
        m_events.ClearEvents();
        if (m_context.relay && m_context.relay->Count() > kRelayGuard) {
            m_context.relay->Clear();
            if (m_context.stopRelayTimer)
                m_context.stopRelayTimer();
        }
    }
    lines.clear();
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
        m_fieldDelimiter = text.at(1);
    if (text.size() > 3)
        m_componentDelimiter = text.at(3);
    m_lastName.clear();
    m_firstName.clear();
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
    m_sampleLabel = component(sample, 2);
    const QString location = field(text, 16);
    batch.locationLabel = component(location, 2);
    const QString extra = component(location, 3);
    if (!extra.isEmpty())
        batch.locationLabel += u'^' + extra;
    if (const auto time = LineRecord::MinuteTime(field(text, 8))) {
        m_sampleTime = *time;
    } else {
        m_sampleTime = m_context.clock.now();
        batch.timeFromResult = true;
    }
}

void LineProtocolParser::patient(const QString& text, Batch& batch) {
    if (!batch.eventMessage() && m_context.state.protocol == AnalyzerProtocol::AstmE1381)
        relay(text);
    m_patientId = LineRecord::CleanPatientId(field(text, 4));
    m_patientFolder = folderFor(m_patientId);
    const QString names = field(text, 6);
    m_lastName = component(names, 1);
    m_firstName = component(names, 2);
}

void LineProtocolParser::result(const QString& text, Batch& batch) {
    m_testName = component(field(text, 3), 4).trimmed();
    if (batch.timeFromResult || batch.eventMessage()) {
        const auto time = LineRecord::SecondTime(field(text, 12));
        m_sampleTime = time ? *time : m_context.clock.now();
        batch.timeFromResult = false;
    }
    if (m_testName == QLatin1String(kEventItem)) {
        m_events.AddEvent({field(text, 4), m_sampleTime});
        return;
    }
    if (m_context.state.protocol == AnalyzerProtocol::AstmE1381)
        relay(text);
    m_value = LineRecord::Value(field(text, 4), DecimalSeparator::current());
    m_units = field(text, 5);
    if (m_units.startsWith(QChar(0xC2)))
        m_units.remove(0, 1);
    batch.status = field(text, 9);
    const QString timeText = m_sampleTime.toString(QLatin1String(kTimeTextFormat));
    batch.locationLabel = placeName(batch.locationLabel);

    QString parameterName = m_testName;
    QString place;
    QString vialId;
    if (batch.sampleKind == QLatin1String("CAL #")) {
        parameterName = m_testName + QStringLiteral(" Calib");
        m_patientId = batch.analyzer + QStringLiteral(" CAL");
        m_lastName = QStringLiteral("Calibration");
        m_patientFolder = folderFor(m_patientId);
        place = m_sampleLabel;
        vialId = batch.locationLabel;
    } else if (batch.sampleKind == QLatin1String("QC #")) {
        m_patientId = batch.analyzer + QStringLiteral(" QC");
        m_lastName = QStringLiteral("AutoControl");
        m_patientFolder = folderFor(m_patientId);
        place = m_sampleLabel;
        vialId = batch.locationLabel;
    } else {
        place = batch.locationLabel;
        vialId = m_sampleLabel;
    }
    const QString sending = PatientIdentity::Clean(m_patientId, PatientIdentity::Cleaning::Result,
                                                   m_context.state.idReduction);
    if (sending != QLatin1String(PatientIdentity::kNull))
        m_lastPatientOf[batch.analyzer] = sending;
    m_context.processor.ProcessResult(m_context.writer, m_patientId, true, 1, vialId, batch.status,
                                      timeText, m_units, m_value, parameterName, place, m_lastName,
                                      m_firstName);
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
    CollectorState& state = m_context.state;
    if (m_patientFolder.isEmpty()) {
        m_context.log.writeLog(QStringLiteral("Events for patient ID \"") + m_patientId +
                               QStringLiteral("\" not written: the ID cannot name a patient "
                                              "folder"));
    } else {
        state.currentPatientId = PatientIdentity::Clean(
            m_patientId, PatientIdentity::Cleaning::Result, state.idReduction);
        state.currentPatientFirstName = m_firstName;
        state.currentPatientLastName = m_lastName;
        state.currentPatientFullName = m_firstName + u' ' + m_lastName;
        state.currentPatientFolder = m_patientFolder;
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
    return LineRecord::Part(text, m_fieldDelimiter, number);
}

QString LineProtocolParser::component(const QString& text, int number) const {
    return LineRecord::Part(text, m_componentDelimiter, number);
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
