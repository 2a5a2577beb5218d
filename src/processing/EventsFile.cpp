#include "EventsFile.h"

#include <QFile>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "EventTime.h"
#include "LogPrefixes.h"
#include "OleDateTime.h"
#include "PatientIdentity.h"
#include "PatientRecordFile.h"
#include "ResultProcessor.h"
#include "TSaveItNew.h"
#include "TarvoError.h"

EventsFile::EventsFile(TSaveItNew& writer, CollectorState& state, EventLog& log, const Clock& clock,
                       ResultProcessor* processor)
    : m_writer(writer), m_state(state), m_log(log), m_clock(clock), m_processor(processor) {}

template <typename Source> void EventsFile::readEvents(const Source& source) {
    try {
        const auto events = source.Get_Event();
        for (int i = 0; i < events.Count(); ++i) {
            const auto event = events[i];
            const QDateTime time = EventTimeFromText(event.Get_Time(), m_clock.now());
            m_events.push_back({event.Get_EventText(), time});
        }
        const auto patient = source.Get_Patient();
        m_state.currentPatientFirstName = patient.Get_FirstName();
        m_state.currentPatientLastName = patient.Get_LastName();
        m_state.currentPatientFullName =
            m_state.currentPatientFirstName + u' ' + m_state.currentPatientLastName;
        // The events belong beside the admission's results: in the folder of the cleaned ID.
        const QString received = patient.Get_PatientID();
        const QString id = PatientIdentity::Clean(received, PatientIdentity::Cleaning::Admission,
                                                  m_state.idReduction);
        if (id == QLatin1String(PatientIdentity::kNull))
            throw PatientIdentity::EUnsafePatientId(received);
        m_state.currentPatientId = id;
        m_state.currentPatientFolder =
            m_state.rebuildFolder.isEmpty()
                ? PatientIdentity::PatientFolderFor(id, m_state.dataRoot, m_state.idReduction)
                : m_state.rebuildFolder;
        WriteEventsFile();
    } catch (const std::exception& error) {
        m_log.writeError(QLatin1String(LogPrefix::kAdmission) +
                         describeError(error));
    }
    m_events.clear();
}

void EventsFile::ReadEvents(const XMLTarvoEventsParser::TXMLAdmissionType& admission) {
    readEvents(admission);
}

void EventsFile::ReadEvents(const XMLTarvoEventsFromFileParser::TXMLEventsType& events) {
    if (m_processor)
        m_processor->SetAnalyzer(QString()); // an events document names no analyzer
    readEvents(events);
}

void EventsFile::WriteEventsFile() {
    const QString folder = m_state.currentPatientFolder;
    if (!PatientRecordFile::Exists(folder) && m_state.autoCreate &&
        (m_state.collection == CollectionState::Collecting ||
         m_state.collection == CollectionState::CollectingOffline)) {
        try {
            PatientRecordFile::Create(m_state.currentPatientId, m_state.currentPatientFirstName,
                                      folder, m_state.currentPatientLastName);
        } catch (const std::exception&) {
            // The events are written whatever became of the record.
        }
    }
    m_writer.Reset();
    const QString fileName = folder + QLatin1String(kFileName);
    m_writer.SetFileName(fileName);
    try {
        // The old events are replaced, not merged: what the file held is read and left unused.
        m_writer.LoadFile();
    } catch (const std::exception&) {
    }
    auto serie = std::make_unique<TEventSerie>();
    serie->Caption = QStringLiteral("Events");
    for (const TEventItem& item : m_events)
        serie->Points.emplace_back(OleDateTime::fromDateTime(item.Time), item.Text);
    m_writer.SetFileName(fileName);
    m_writer.EventSerie = std::move(serie);
    m_writer.FileType = TZelFileType::ftSingleEventSerie;
    m_writer.PatientName = m_state.currentPatientFullName;
    m_writer.PatientID = m_state.currentPatientId;
    try {
        if (QFile::exists(fileName))
            QFile::setPermissions(fileName, QFile::permissions(fileName) | QFileDevice::WriteOwner);
        m_writer.SaveSingle();
        for (const TEventItem& item : m_events)
            if (m_processor)
                m_processor->EventStored({m_state.currentPatientId, m_state.currentPatientLastName,
                                          m_state.currentPatientFirstName, item.Text, item.Time,
                                          QString()});
        QFile::setPermissions(fileName, QFile::permissions(fileName) &
                                            ~(QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                              QFileDevice::WriteGroup | QFileDevice::WriteOther));
    } catch (const std::exception&) {
        m_log.writeError(QLatin1String(LogPrefix::kEventsFile) +
                         QStringLiteral("Could not save Events"));
    }
    m_writer.EventSerie.reset();
}
