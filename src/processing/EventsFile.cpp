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
#include "ProcessingProgress.h"
#include "ResultProcessor.h"
#include "TSaveItNew.h"
#include "TarvoError.h"

EventsFile::EventsFile(TSaveItNew& writer, const CollectorState& state,
                       ProcessingProgress& progress, EventLog& log, const Clock& clock,
                       ResultProcessor* processor)
    : m_writer(writer), m_state(state), m_progress(progress), m_log(log), m_clock(clock),
      m_processor(processor) {}

template <typename Source> void EventsFile::readEvents(const Source& source) {
    try {
        const auto events = source.Get_Event();
        for (int i = 0; i < events.Count(); ++i) {
            const auto event = events[i];
            const QDateTime time = EventTimeFromText(event.Get_Time(), m_clock.now());
            m_events.push_back({event.Get_EventText(), time});
        }
        const auto patient = source.Get_Patient();
        m_progress.setCurrentPatientNames(patient.Get_FirstName(), patient.Get_LastName());
        // The events belong beside the admission's results: in the folder of the cleaned ID.
        const QString received = patient.Get_PatientID();
        const QString id = PatientIdentity::Clean(received, PatientIdentity::Cleaning::Admission,
                                                  m_state.idReduction);
        if (id == QLatin1String(PatientIdentity::kNull))
            throw PatientIdentity::EUnsafePatientId(received);
        m_progress.setCurrentPatientPlace(
            id, m_progress.rebuildFolder().isEmpty()
                    ? PatientIdentity::PatientFolderFor(id, m_state.dataRoot, m_state.idReduction)
                    : m_progress.rebuildFolder());
        WriteEventsFile();
    } catch (const std::exception& error) {
        m_log.writeError(QLatin1String(LogPrefix::kAdmission) + describeError(error));
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
    const QString folder = m_progress.currentPatient().folder;
    if (!PatientRecordFile::Exists(folder) && m_state.autoCreate &&
        (m_state.collection == CollectionState::Collecting ||
         m_state.collection == CollectionState::CollectingOffline)) {
        try {
            PatientRecordFile::Create(m_progress.currentPatient().id,
                                      m_progress.currentPatient().firstName, folder,
                                      m_progress.currentPatient().lastName);
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
    m_writer.PatientName = m_progress.currentPatient().fullName;
    m_writer.PatientID = m_progress.currentPatient().id;
    try {
        if (QFile::exists(fileName))
            QFile::setPermissions(fileName, QFile::permissions(fileName) | QFileDevice::WriteOwner);
        m_writer.SaveSingle();
        for (const TEventItem& item : m_events)
            if (m_processor)
                m_processor->EventStored(
                    {m_progress.currentPatient().id, m_progress.currentPatient().lastName,
                     m_progress.currentPatient().firstName, item.Text, item.Time, QString()});
        QFile::setPermissions(fileName, QFile::permissions(fileName) &
                                            ~(QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                              QFileDevice::WriteGroup | QFileDevice::WriteOther));
    } catch (const std::exception&) {
        m_log.writeError(QLatin1String(LogPrefix::kEventsFile) +
                         QStringLiteral("Could not save Events"));
    }
    m_writer.EventSerie.reset();
}
