// Result processing: a patient-data document of many measurements read into a fresh patient
// file, and live control results for many patients one by one. Run a Release build.
//
//   processing_bench [N]   N: measurements of the document (default 100000)
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <pugixml.hpp>

#include "BenchSupport.h"
#include "Clock.h"
#include "CollectorState.h"
#include "EventLog.h"
#include "LatestValueGrid.h"
#include "LocalTimeZone.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientDataDocumentReader.h"
#include "PatientList.h"
#include "ProcessingSetup.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "TSaveItNew.h"
#include "TXMLDocument.h"

namespace {

// 6 analytes at 3 catheters, measurements every 10 minutes.
QString document(int measurements) {
    const QStringList analytes = {"Glucose",  "Lactate",   "Pyruvate",
                                  "Glycerol", "Glutamate", "Urea"};
    const QStringList places = {"CNS", "Muscle", "Adipose"};
    const int perRecording = measurements / int(analytes.size() * places.size());
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Tarvo version="
                                  "\"1.0\">\r\n<Admission><UniqueID>{B}</UniqueID><Patient>"
                                  "<PatientID>BENCH</PatientID><FirstName>Bench</FirstName>"
                                  "<LastName>Patient</LastName></Patient>\r\n");
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    for (const QString& place : places) {
        for (const QString& analyte : analytes) {
            text += QStringLiteral("<Recording Unit=\"mmol/L\"><CatheterLocation>%1"
                                   "</CatheterLocation><AnalyteCode>%2</AnalyteCode>\r\n")
                        .arg(place, analyte);
            for (int i = 0; i < perRecording; ++i)
                text += QStringLiteral("<Measurement><TimeStamp>%1</TimeStamp><Concentration>%2"
                                       "</Concentration><AttemptNo>1</AttemptNo><VialID>V%3"
                                       "</VialID><Status>OK</Status></Measurement>\r\n")
                            .arg(start.addSecs(600 * i).toString("yyyy-MM-ddTHH:mm:ss"))
                            .arg(1 + i % 7)
                            .arg(i % 64);
            text += QStringLiteral("</Recording>\r\n");
        }
    }
    return text + QStringLiteral("</Admission>\r\n</Tarvo>\r\n");
}

struct Harness : ProcessingSetup {
    explicit Harness(const QString& rootPath)
        : ProcessingSetup(rootPath, CollectionState::Collecting),
          reader(processor, state, log, clock) {
        writer.KeepPoints = false;
    }
    PatientDataDocumentReader reader;
};

double readDocument(int measurements, double* bareParse) {
    QTemporaryDir dir;
    Harness harness(dir.path());
    const QString text = document(measurements);
    const QByteArray utf8 = text.toUtf8();
    auto start = SteadyClock::now();
    pugi::xml_document bare;
    bare.load_buffer(utf8.constData(), size_t(utf8.size()));
    if (bareParse)
        *bareParse = since(start);
    start = SteadyClock::now();
    TXMLDocument xml;
    xml.LoadFromText(text);
    harness.reader.ReadPatientDataDocument(harness.writer, XMLTarvoParser::GetTarvo(xml), true,
                                           DocumentContains(QStringLiteral("<AttemptNo>"), xml),
                                           false);
    return since(start);
}

} // namespace

int main(int argc, char** argv) {
    readLocalTimeZoneOnce(); // as the program does at start-up
    QCoreApplication app(argc, argv);
    const int large = argc > 1 ? std::max(1800, atoi(argv[1])) : 100000;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    double bare = 0;
    if (only != QLatin1String("live")) {
        const double small = readDocument(large / 10, nullptr);
        const double full = readDocument(large, &bare);
        std::printf(
            "patient-data document, %d measurements (6 analytes, 3 catheters, with ratios):\n",
            large);
        std::printf(
            "  %.3f s, %.0f results/s (target under 2 s); %.1f times the bare parse (%.3f s)\n",
            full, large / full, full / bare, bare);
        std::printf("  linearity: %d costs %.2f times %d (target at most 12)\n", large,
                    full / small, large / 10);
    }
    if (only == QLatin1String("document"))
        return 0;

    QTemporaryDir dir;
    Harness harness(dir.path());
    const int results = large;
    const auto start = SteadyClock::now();
    for (int i = 0; i < results; ++i) {
        harness.processor.ProcessResult(
            harness.writer, QStringLiteral("CTRL%1").arg(i % 20), true, 1, QString(),
            QStringLiteral("OK"), QStringLiteral("2026-12-08T12:00:00"), QStringLiteral("mmol/L"),
            1.0 + i % 5, QStringLiteral("Lactate"),
            i % 2 ? QStringLiteral("Low") : QStringLiteral("Elevated"), QString(), QString());
    }
    const double live = since(start);
    std::printf("live control results, %d across 20 patients: %.3f s, %.0f results/s\n", results,
                live, results / live);
    return 0;
}
