// Record lines into stored results: N results of one collected patient, each in its own
// message, cut by the line framing and stored by the line parser. Run a Release build.
//
//   line_bench [N]   N: results (default 100000)
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "LineFraming.h"
#include "LineProtocolParser.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "RegistryHives.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int results = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QTemporaryDir dir;
    RegistryHives hives(dir.path() + "/cu.ini", dir.path() + "/lm.ini");
    SettingsStore settings(hives, RegistryRoot::CurrentUser);
    const SystemClock& clock = static_cast<const SystemClock&>(SystemClock::instance());
    EventLog log(clock);
    CollectorState state;
    state.dataRoot = dir.path() + "/DATA/";
    QDir().mkpath(state.dataRoot);
    state.collection = CollectionState::Collecting;
    state.autoCreate = true;
    state.protocol = AnalyzerProtocol::Hl7;
    PatientListModel patients;
    PatManagement registry(settings, patients, log, clock, IdReduction::None);
    TParameters catalogue;
    LatestValueGrid grid;
    OrvantaLink orvanta(log);
    ResultProcessor processor(
        {state, log, patients, registry, catalogue, grid, orvanta, clock, nullptr, QString()});
    TSaveItNew writer;
    LineProtocolParser parser(
        LineParserContext{state, log, processor, writer, clock, {}, nullptr, nullptr, {}, {}});
    LineFraming framing;
    QStringList lines;

    const QStringList analytes = {"Glucose", "Lactate", "Pyruvate", "Glycerol"};
    QByteArray stream;
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    for (int i = 0; i < results; ++i) {
        const QByteArray time = start.addSecs(60 * i).toString("yyyyMMddHHmmss").toLatin1();
        stream += "H|\\^~&|||TARVOflex^B1||||||||1.0|" + time +
                  "\rP|||BENCH||Bench^Patient\r"
                  "O|||Sample #^A1||||" +
                  time.left(12) + "||||||||MD Sample^CNS\rR||^^^" +
                  analytes.at(i % analytes.size()).toLatin1() + "^|" +
                  QByteArray::number(1 + i % 9) + ".25|mmol/L||||OK|||" + time + "\rL|1|N\r\x04";
    }
    const auto begin = std::chrono::steady_clock::now();
    const qsizetype chunk = 64 * 1024;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        framing.append(stream.mid(at, chunk), lines);
        parser.ProcessLineHL7(lines);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("line results: %d in %.2f s = %.0f results/s (%d stored calls)\n", results, seconds,
                results / seconds, processor.ResultCalls());
    return 0;
}
