// New patients arriving while many are registered: what one new patient costs with 10 and with
// 1,000 patients in the list and the registry, through result processing and the event loop as
// the collector runs them (one or 30 results to a turn of the event loop). The registry is
// rewritten at most once a second while new patients keep coming, and once more at closing.
// Prints times per patient and their ratios; run a Release build.
//
//   registry_bench [K]   K: new patients per measurement (default 1000)
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "ProcessingSetup.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"

namespace {

// Ready: results are shown and their patients registered, nothing is stored.
struct Harness : ProcessingSetup {
    explicit Harness(const QString& rootPath) : ProcessingSetup(rootPath, CollectionState::Ready) {}
};

void result(Harness& h, const QString& patientId) {
    h.processor.ProcessResult(h.writer, patientId, false, 1, QStringLiteral("A1"),
                              QStringLiteral("OK"), QStringLiteral("2026-12-08T12:00:00"),
                              QStringLiteral("mmol/L"), 2.5, QStringLiteral("Glucose"),
                              QStringLiteral("CNS"), QStringLiteral("Berg"),
                              QStringLiteral("Anna"));
}

// Seconds per new patient with `registered` patients already known, the new ones arriving
// `perTurn` to one turn of the event loop (one read of the analyzer link); the registry writes
// made meanwhile are included. closing: the seconds of the write still waiting at the end.
double perNewPatient(int registered, int newPatients, int perTurn, int* writes, double* closing) {
    QTemporaryDir dir;
    Harness h(dir.path());
    for (int i = 0; i < registered; ++i)
        result(h, QStringLiteral("OLD%1").arg(i));
    h.registry.FlushRequestedSweep();
    const int writesBefore = h.registry.Writes();
    const auto start = SteadyClock::now();
    for (int i = 0; i < newPatients; ++i) {
        result(h, QStringLiteral("NEW%1").arg(i));
        if ((i + 1) % perTurn == 0)
            QCoreApplication::processEvents();
    }
    const double seconds = since(start);
    *writes = h.registry.Writes() - writesBefore;
    // What is still waiting is written when the collector closes.
    const auto flush = SteadyClock::now();
    h.registry.FlushRequestedSweep();
    *closing = since(flush);
    if (h.patients.Count() != registered + newPatients ||
        PatManagement::Field(
            h.settings.readText(QStringLiteral("Patient%1").arg(h.patients.Count())), 2) !=
            QStringLiteral("NEW%1").arg(newPatients - 1)) {
        std::fprintf(stderr, "registry_bench: the registry does not hold every patient\n");
        std::exit(1);
    }
    return seconds / newPatients;
}

// Seconds of one sweep (read, merge, rewrite) with `registered` patients.
double oneSweep(int registered) {
    QTemporaryDir dir;
    Harness h(dir.path());
    for (int i = 0; i < registered; ++i)
        result(h, QStringLiteral("OLD%1").arg(i));
    h.registry.FlushRequestedSweep();
    constexpr int kSweeps = 20;
    const auto start = SteadyClock::now();
    for (int i = 0; i < kSweeps; ++i)
        h.registry.SweepPatientRegistry(false);
    return since(start) / kSweeps;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int newPatients = argc > 1 ? std::max(30, atoi(argv[1])) : 1000;
    const double sweepSmall = oneSweep(10);
    const double sweepLarge = oneSweep(1000);
    std::printf("one registry sweep: 10 registered %.3f ms, 1000 registered %.3f ms (%.1f times)\n",
                sweepSmall * 1e3, sweepLarge * 1e3, sweepLarge / sweepSmall);
    std::printf("new patients, %d per measurement, time per new patient:\n", newPatients);
    for (const int perTurn : {1, 30}) {
        int smallWrites = 0;
        int largeWrites = 0;
        double smallClosing = 0;
        double largeClosing = 0;
        const double small = perNewPatient(10, newPatients, perTurn, &smallWrites, &smallClosing);
        const double large = perNewPatient(1000, newPatients, perTurn, &largeWrites, &largeClosing);
        std::printf("  %2d per turn:  10 registered %.3f ms, 1000 registered %.3f ms; registry "
                    "writes meanwhile %d and %d, one more at closing %.1f ms and %.1f ms\n",
                    perTurn, small * 1e3, large * 1e3, smallWrites, largeWrites, smallClosing * 1e3,
                    largeClosing * 1e3);
        std::printf("    1000 / 10: %.2f (target at most 1.5)\n", large / small);
    }
    return 0;
}
