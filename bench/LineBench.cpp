// Record lines into stored results: N results of one collected patient, each in its own
// message, cut by the line framing and stored by the line parser. Run a Release build.
//
//   line_bench [N]   N: results (default 100000)
//
// Then the same values as XML live results (UTF-16 text decoded, parsed, read and stored as
// the dispatcher does), for the ratio of the two paths.
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
#include "LineFraming.h"
#include "LineProtocolParser.h"
#include "LocalTimeZone.h"
#include "OrvantaLink.h"
#include "ParameterCatalogue.h"
#include "PatManagement.h"
#include "PatientList.h"
#include "RegistryHives.h"
#include "ResultProcessor.h"
#include "SettingsStore.h"
#include "SimulatedMessages.h"
#include "TSaveItNew.h"
#include "TXMLDocument.h"
#include "XMLTarvoLiveParser.h"

namespace {

// One record message per result, one after the other as an analyzer sends them.
QByteArray recordStream(int results, const QStringList& analytes, const QDateTime& start) {
    QByteArray stream;
    for (int i = 0; i < results; ++i) {
        const QByteArray time = start.addSecs(60 * i).toString("yyyyMMddHHmmss").toLatin1();
        stream += "H|\\^~&|||TARVOflex^B1||||||||1.0|" + time +
                  "\rP|||BENCH||Bench^Patient\r"
                  "O|||Sample #^A1||||" +
                  time.left(12) + "||||||||MD Sample^CNS\rR||^^^" +
                  analytes.at(i % analytes.size()).toLatin1() + "^|" +
                  QByteArray::number(1 + i % 9) + ".25|mmol/L||||OK|||" + time + "\rL|1|N\r\x04";
    }
    return stream;
}

// Seconds to frame and store the stream, in chunks as the socket delivers it.
double timeLines(LineProtocolParser& parser, LineFraming& framing, const QByteArray& stream) {
    const auto begin = SteadyClock::now();
    const qsizetype chunk = 64 * 1024;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        parser.ProcessLineHL7(QStringLiteral("bench"), framing.append(stream.mid(at, chunk)).lines);
    }
    return since(begin);
}

// The same values as UTF-16 XML live results, one document each.
std::vector<QByteArray> liveDocuments(int results, const QStringList& analytes,
                                      const QDateTime& start) {
    std::vector<QByteArray> documents;
    documents.reserve(size_t(results));
    for (int i = 0; i < results; ++i) {
        SimulatedMessages::LiveMeasurement m;
        m.patient = {QStringLiteral("XBENCH"), QStringLiteral("Patient"), QStringLiteral("Bench")};
        m.analyte = analytes.at(i % analytes.size());
        m.time = start.addSecs(60 * i);
        m.value = 1 + i % 9 + 0.25;
        documents.push_back(SimulatedMessages::utf16(SimulatedMessages::live(m)));
    }
    return documents;
}

// Seconds to decode, parse, read and store the documents as the dispatcher does.
double timeXml(ResultProcessor& processor, TSaveItNew& writer,
               const std::vector<QByteArray>& documents) {
    const auto begin = SteadyClock::now();
    for (const QByteArray& bytes : documents) {
        TXMLDocument xml;
        xml.LoadFromText(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                            bytes.size() / 2));
        const XMLTarvoLiveParser::TXMLMDMeasurement md =
            XMLTarvoLiveParser::GetTarvo(xml).Get_MDMeasurement();
        const XMLTarvoLiveParser::TXMLPatientType patient = md.Get_Patient();
        processor.ProcessResult(writer, patient.Get_PatientID(), false, md.Get_AttemptNo(),
                                md.Get_VialID(), md.Get_Status(), md.Get_Time(), md.Get_Unit(),
                                md.Get_Concentration(), md.Get_Analyte(), md.Get_CatheterLocation(),
                                patient.Get_LastName(), patient.Get_FirstName());
    }
    return since(begin);
}

} // namespace

int main(int argc, char** argv) {
    readLocalTimeZoneOnce(); // as the program does at start-up
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
        LineParserContext{state, log, processor, writer, clock, {}, nullptr, nullptr, {}});
    LineFraming framing;

    const QStringList analytes = {"Glucose", "Lactate", "Pyruvate", "Glycerol"};
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    const QByteArray stream = recordStream(results, analytes, start);
    const double seconds = timeLines(parser, framing, stream);
    std::printf("line results: %d in %.2f s = %.0f results/s (%d stored calls)\n", results, seconds,
                results / seconds, processor.ResultCalls());

    const std::vector<QByteArray> documents = liveDocuments(results, analytes, start);
    state.protocol = AnalyzerProtocol::Xml; // times as XML writes them
    const double xmlSeconds = timeXml(processor, writer, documents);
    std::printf("XML live results of the same values: %d in %.2f s = %.0f results/s; record "
                "lines take %.2f times the time of XML\n",
                results, xmlSeconds, results / xmlSeconds, seconds / xmlSeconds);
    return 0;
}
