#pragma once

#include <QDir>
#include <QString>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "RegistryHives.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"

// Result processing as the collector composes it, without the analyzer link, on a data root
// below rootPath: what the benchmarks of storing results measure.
struct ProcessingSetup {
    ProcessingSetup(const QString& rootPath, CollectionState collection)
        : hives(rootPath + "/cu.ini", rootPath + "/lm.ini"),
          settings(hives, RegistryRoot::CurrentUser), log(clock),
          registry(settings, patients, log, clock, IdReduction::None), orvanta(log),
          processor(
              {state, log, patients, registry, catalogue, grid, orvanta, clock, nullptr, {}}) {
        state.dataRoot = rootPath + "/DATA/";
        QDir().mkpath(state.dataRoot);
        state.collection = collection;
        state.autoCreate = true;
        state.savedDecimalSeparator = u'.';
    }
    SystemClock clock;
    RegistryHives hives;
    SettingsStore settings;
    EventLog log;
    CollectorState state;
    PatientListModel patients;
    PatManagement registry;
    TParameters catalogue;
    LatestValueGrid grid;
    OrvantaLink orvanta;
    ResultProcessor processor;
    TSaveItNew writer;
};
