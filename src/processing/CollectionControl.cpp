#include "CollectionControl.h"

#include "Clock.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "LinkStatus.h"
#include "OleDateTime.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientDataFile.h"
#include "PatientIdentity.h"
#include "PatientList.h"
#include "ResultProcessor.h"
#include "TSockets.h"

namespace {

OrvantaCollectState reportedState(CollectionState state) {
    return state == CollectionState::Collecting || state == CollectionState::CollectingOffline
               ? OrvantaCollectState::Collecting
               : OrvantaCollectState::NotCollecting;
}

} // namespace

CollectionControl::CollectionControl(CollectionControlContext context, QObject* parent)
    : QObject(parent), m_context(std::move(context)) {
    m_context.state.stateChangeTime = m_context.clock.now();
    m_autoHidePending = m_context.state.autoHide;
    applyControls(m_context.state.collection);
}

void CollectionControl::applyControls(CollectionState state) {
    CollectionControls& c = m_controls;
    c.state = state;
    switch (state) {
    case CollectionState::Ready:
        c.trayIconWanted = false;
        c.startEnabled = AutomaticParameters || m_context.catalogue.Count() > 0;
        c.stopVisible = false;
        c.hideEnabled = false;
        c.startVisible = true;
        c.settingsVisible = true;
        c.animationPlaying = false;
        break;
    case CollectionState::Collecting:
        c.trayIconWanted = true;
        c.trayHint = QLatin1String(kCollectingHint);
        c.animationPlaying = true;
        c.startEnabled = false;
        c.stopVisible = true;
        c.hideEnabled = true;
        c.startVisible = false;
        c.settingsVisible = false;
        break;
    case CollectionState::Offline:
    case CollectionState::CollectingOffline:
        c.trayIconWanted = false;
        c.hideEnabled = false;
        c.animationPlaying = false;
        if (state == CollectionState::Offline) {
            c.startVisible = true;
            c.stopVisible = false;
        }
        c.settingsVisible = true;
        break;
    }
    emit controlsChanged();
}

void CollectionControl::setCollectionState(CollectionState state) {
    applyControls(state);
    if (state == CollectionState::Offline || state == CollectionState::CollectingOffline) {
        emit showWindowRequested();
        m_context.grid.Clear();
        writeEndPoints(false);
        for (int i = 0; i < m_context.patients.Count(); ++i)
            m_context.patients.SetEnabled(i, false);
    }
    if (state != m_context.state.collection) {
        // The state is the collector's own: it is kept first, and a report the server does not
        // take (logged by the link) does not undo it.
        m_context.state.collection = state;
        m_context.state.stateChangeTime = m_context.clock.now();
        if (m_context.orvanta.isActive())
            m_context.orvanta.reportCollectStateChange(reportedState(state));
    }
}

void CollectionControl::linkPresent() {
    if (m_context.state.collection == CollectionState::Offline)
        setCollectionState(CollectionState::Ready);
    else if (m_context.state.collection == CollectionState::CollectingOffline)
        setCollectionState(CollectionState::Collecting);
}

void CollectionControl::start() {
    for (int i = 0; i < m_context.catalogue.Count(); ++i)
        m_context.catalogue.At(i).Selected = true;
    setCollectionState(CollectionState::Collecting);
    m_context.orvanta.reportCollectingStarted();
}

void CollectionControl::stop() {
    writeEndPoints(false);
    setCollectionState(CollectionState::Ready);
}

void CollectionControl::writeEndPoints(bool all) {
    const CollectorState& state = m_context.state;
    if (state.protocol == AnalyzerProtocol::Xml || state.busy)
        return;
    setBusy(true);
    const QDateTime time = m_context.progress.lastSampleTime().addSecs(1);
    for (int i = 0; i < m_context.patients.Count(); ++i) {
        const PatientEntry& entry = m_context.patients.At(i);
        if (!all && !(entry.Checked && entry.Enabled))
            continue;
        try {
            TSaveItNew* writer = m_context.records.SaverForPatient(entry.Patient.PatientID);
            if (writer == nullptr && m_lineWriterFor)
                writer = m_lineWriterFor(entry.Patient.PatientID);
            if (writer == nullptr)
                continue;
            const QString folder = PatientIdentity::PatientFolderFor(
                entry.Patient.PatientID, state.dataRoot, state.idReduction);
            TPatientDataFileOpening opening = OpenPatientDataFile(
                *writer, folder, entry.Patient.FirstName + u' ' + entry.Patient.LastName,
                entry.Patient.PatientID);
            if (!opening.opened)
                continue;
            for (int p = 0; p < m_context.catalogue.Count(); ++p) {
                const TParameter& parameter = m_context.catalogue.At(p);
                if (!AutomaticParameters && !parameter.Selected)
                    continue;
                const qint16 index = FindOrCreateSerie(
                    *writer, opening.CurrentSeries, parameter.KeyName, parameter.MeasurementPlace,
                    parameter.Unit, SerieMatch::NameAndPlace);
                if (!writer->AppendSerieBreak(index, OleDateTime::fromDateTime(time)))
                    continue;
                m_context.orvanta.addEndPoint(parameter.KeyName, parameter.Unit, time);
            }
        } catch (const std::exception&) {
            // End points are a courtesy to the reader of the file; a failure is ignored.
        }
    }
    setBusy(false);
}

void CollectionControl::setBusy(bool busy) {
    m_context.state.busy = busy;
}

void CollectionControl::timerTick() {
    const CollectorState& state = m_context.state;
    LinkStatus& status = m_context.linkStatus;
    if (m_context.serverActive && m_context.serverActive()) {
        if (status.connectionLabel() != QLatin1String("Listening ..."))
            status.setConnectionLabel(QStringLiteral("Listening ..."));
    } else {
        status.setConnectionLabel(QStringLiteral("Inactive"));
        if (m_context.reactivateServer)
            m_context.reactivateServer();
    }
    if (state.busy)
        return;
    if (m_autoHidePending && m_context.progress.dataReceived()) {
        m_autoHidePending = false;
        emit hideWindowRequested();
    }
    const int connections = m_context.analyzerConnections ? m_context.analyzerConnections() : 0;
    if (connections == 0 && state.networkRole != NetworkRole::DataClient) {
        if (state.collection == CollectionState::Ready)
            setCollectionState(CollectionState::Offline);
        else if (state.collection == CollectionState::Collecting)
            setCollectionState(CollectionState::CollectingOffline);
    } else if (connections > 0) {
        linkPresent();
    }
    if (state.collection == CollectionState::Collecting && !m_controls.trayIconWanted) {
        m_controls.trayIconWanted = true;
        emit controlsChanged();
    }
    // The daily sweep renews the patients being collected, so that they outlive a restart.
    if (m_context.registry.LastWrite().isValid() &&
        m_context.registry.LastWrite().secsTo(m_context.clock.now()) > 24 * 60 * 60)
        m_context.registry.SweepPatientRegistry(false);
    // The Orvanta lifetick and the relay connection duty join here with their subsystems.
}

void CollectionControl::endAutoHide() {
    m_autoHidePending = false;
    if (m_context.state.collection == CollectionState::Collecting && !m_controls.hideEnabled) {
        m_controls.hideEnabled = true;
        emit controlsChanged();
    }
}
