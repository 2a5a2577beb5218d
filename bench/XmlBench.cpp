// Parsing a large patient data document and reading every measurement through the bindings,
// against pugixml's bare parse of the same text. Prints rates and the ratio; run a Release build.
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <pugixml.hpp>

#include "DecimalSeparator.h"
#include "NamespaceNormalization.h"
#include "TXMLDocument.h"
#include "XMLTarvoParser.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QString document(int measurements) {
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n") +
                   PatientDataNamespace::rootStartTag(PatientDataNamespace::k2012) +
                   QStringLiteral("\r\n<Admission><UniqueID>{B}</UniqueID><Patient><PatientID>1912"
                                  "</PatientID><FirstName>Åsa</FirstName><LastName>Öberg</LastName>"
                                  "</Patient>\r\n");
    const QStringList analytes = {"Glucose", "Lactate", "Pyruvate", "Glycerol"};
    const int perRecording = measurements / int(analytes.size());
    for (const QString& analyte : analytes) {
        text += QStringLiteral("<Recording Unit=\"mmol/L\"><CatheterLocation>CNS</CatheterLocation>"
                               "<AnalyteCode>") +
                analyte + QStringLiteral("</AnalyteCode><Start>2026-12-01T08:00:00</Start>\r\n");
        for (int i = 0; i < perRecording; ++i)
            text += QStringLiteral("<Measurement><TimeStamp>2026-12-%1T%2:%3:00</TimeStamp>"
                                   "<Concentration>%4,%5</Concentration><AttemptNo>1</AttemptNo>"
                                   "<Hidden>false</Hidden><VialID>V%6</VialID><Status>OK</Status>"
                                   "</Measurement>\r\n")
                        .arg(1 + i / 1440 % 28, 2, 10, QChar(u'0'))
                        .arg(i / 60 % 24, 2, 10, QChar(u'0'))
                        .arg(i % 60, 2, 10, QChar(u'0'))
                        .arg(i % 9)
                        .arg(i % 100)
                        .arg(i % 64);
        text += QStringLiteral("</Recording>\r\n");
    }
    return text + QStringLiteral("</Admission>\r\n</Tarvo>\r\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;
    QString text = document(count);
    NormalizeNamespace(text);
    const QByteArray utf8 = text.toUtf8();
    const double megabytes = double(utf8.size()) / (1 << 20);

    auto start = Clock::now();
    pugi::xml_document bare;
    bare.load_buffer(utf8.constData(), size_t(utf8.size()));
    const double bareSeconds = since(start);

    DecimalSeparator::set(u'.');
    start = Clock::now();
    TXMLDocument bound;
    bound.LoadFromText(text);
    const auto root = XMLTarvoParser::GetTarvo(bound);
    int read = 0;
    double sum = 0;
    for (int a = 0; a < root.Count(); ++a) {
        const auto recordings = root[a].Get_Recording();
        for (int r = 0; r < recordings.Count(); ++r) {
            const auto recording = recordings[r];
            const QString analyte = recording.Get_AnalyteCode();
            const QString unit = recording.Get_Unit();
            const auto measurements = recording.Get_Measurement();
            for (int m = 0; m < measurements.Count(); ++m) {
                const auto measurement = measurements[m];
                const QString time = measurement.Get_TimeStamp();
                sum += measurement.Get_Concentration() + measurement.Get_AttemptNo();
                const QString vial = measurement.Get_VialID();
                const QString status = measurement.Get_Status();
                read += time.isEmpty() || vial.isEmpty() || status.isEmpty() ? 0 : 1;
            }
        }
    }
    const double boundSeconds = since(start);
    std::printf("document: %.1f MB, %d measurements\n", megabytes, read);
    std::printf("bare parse:             %.3f s (%.0f MB/s)\n", bareSeconds,
                megabytes / bareSeconds);
    std::printf("parse + bindings:       %.3f s (%.0f MB/s, %.0f measurements/s)\n", boundSeconds,
                megabytes / boundSeconds, read / boundSeconds);
    std::printf("bindings / bare parse:  %.2f (target at most 3)   [checksum %.1f]\n",
                boundSeconds / bareSeconds, sum);
    return read == count ? 0 : 1;
}
