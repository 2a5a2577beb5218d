#pragma once

#include <QDir>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"
#include "TempRoot.h"

// What result processing works with, as the collector holds it: a portable root with its data
// root, a collecting state with AutoCreate on, and the models.
struct ProcessingHarness {
    ProcessingHarness() {
        state.dataRoot = root.driveC("TCA/DATA/");
        QDir().mkpath(state.dataRoot);
        state.collection = CollectionState::Collecting;
        state.autoCreate = true;
        state.savedDecimalSeparator = u'.';
    }

    QString folderOf(const QString& id) const { return state.dataRoot + id + u'/'; }

    TempRoot root;
    SettingsStore settings{root.hives(), RegistryRoot::CurrentUser};
    ManualClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 30))};
    EventLog log{clock};
    CollectorState state;
    PatientListModel patients;
    PatManagement registry{settings, patients, log, clock, IdReduction::None};
    TParameters catalogue;
    LatestValueGrid grid;
    OrvantaLink orvanta{log};
    ResultProcessor processor{
        {state, log, patients, registry, catalogue, grid, orvanta, clock, nullptr, QString()}};
    TSaveItNew writer;
};
