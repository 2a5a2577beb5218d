// tarvo-pil: inspects a stored patient data file or events file.
//
//   tarvo-pil dump FILE    one JSON document: format, file kind, monitor information, series
//                          with their points and breaks, events, and the problems found
//   tarvo-pil check FILE   the problems, one per line; exit status 1 when there are any
//   tarvo-pil export --csv|--fhir FILE   the result points as a CSV table or a FHIR R4 Bundle
#include <cstdio>
#include <optional>

#include <QCoreApplication>
#include <QFile>

#include "Export.h"
#include "JsonWriter.h"
#include "OleDateTime.h"
#include "StoredFileParser.h"
#include "TSaveItNew.h"
#include "ZelTypes.h"

namespace {

constexpr int kUsageError = 2;

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

QString timeText(double days) {
    const QDateTime time = OleDateTime::toDateTime(days);
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
                          : QStringLiteral("invalid");
}

QString layoutName(TMicroReader::HeaderLayout layout) {
    switch (layout) {
    case TMicroReader::HeaderLayout::OldHeader:
        return QStringLiteral("old header");
    case TMicroReader::HeaderLayout::Headerless:
        return QStringLiteral("no header");
    case TMicroReader::HeaderLayout::RootFolding:
        break;
    }
    return QStringLiteral("root folding");
}

void writeSerie(JsonWriter& json, const TParameterSerie& serie) {
    json.beginObject();
    json.value(QStringLiteral("index"), int(serie.Index));
    json.value(QStringLiteral("parameterName"), serie.Identity.ParameterName());
    json.value(QStringLiteral("place"), serie.Identity.MeasurementPlace());
    json.value(QStringLiteral("extraName"), serie.Identity.ParamExtraName());
    json.value(QStringLiteral("unit"), serie.Unit);
    json.value(QStringLiteral("parameterId"), serie.Identity.ParameterID());
    std::vector<const TTarvoDataPoint*> points;
    std::vector<const TRecordDelimiterPoint*> breaks;
    if (serie.Points) {
        for (const TSeriesPoint& point : serie.Points->Points) {
            if (const auto* data = std::get_if<TTarvoDataPoint>(&point))
                points.push_back(data);
            else
                breaks.push_back(&std::get<TRecordDelimiterPoint>(point));
        }
    }
    json.value(QStringLiteral("pointCount"), qint64(points.size()));
    json.beginArray(QStringLiteral("points"));
    for (const TTarvoDataPoint* point : points) {
        json.beginObject({}, true);
        json.value(QStringLiteral("time"), timeText(point->X));
        json.value(QStringLiteral("value"), point->Y);
        json.value(QStringLiteral("status"), int(point->AnalyseResult));
        json.value(QStringLiteral("statusText"), point->AnalyseResultString);
        json.value(QStringLiteral("vial"), point->VialID);
        json.value(QStringLiteral("attempt"), point->AttemptNo);
        json.endObject();
    }
    json.endArray();
    json.beginArray(QStringLiteral("breaks"));
    for (const TRecordDelimiterPoint* pause : breaks) {
        json.beginObject({}, true);
        json.value(QStringLiteral("time"), timeText(pause->X));
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

// The file itself: size, format, kind and the patient it names.
void writeFileFacts(JsonWriter& json, const QString& fileName, qint64 size,
                    const TStoredFileContent& content) {
    json.value(QStringLiteral("file"), fileName);
    json.value(QStringLiteral("size"), size);
    json.value(QStringLiteral("formatVersion"),
               QStringLiteral("%1.%2").arg(content.versionMajor).arg(content.versionMinor));
    json.value(QStringLiteral("header"), layoutName(content.layout));
    json.value(QStringLiteral("checksums"), content.checksums);
    if (content.checksums)
        json.value(QStringLiteral("checksumsCorrect"), content.checksumValid);
    json.beginObject(QStringLiteral("fileKind"), true);
    json.value(QStringLiteral("number"), content.fileKind);
    json.value(QStringLiteral("name"), fileTypeName(content.fileKind));
    json.endObject();
    json.value(QStringLiteral("reserved"), content.reserved);
    if (!content.patientId.isEmpty() || !content.patientName.isEmpty()) {
        json.value(QStringLiteral("patientId"), content.patientId);
        json.value(QStringLiteral("patientName"), content.patientName);
    }
}

void writeMonitors(JsonWriter& json, const TStoredFileContent& content) {
    json.beginArray(QStringLiteral("monitorInformation"));
    for (const TMonitorInfo* monitor : content.monitors()) {
        json.beginObject({}, true);
        json.value(QStringLiteral("monitorName"), monitor->MonitorName);
        json.value(QStringLiteral("monitorIdentity"), monitor->MonitorIdentity);
        json.value(QStringLiteral("patientId"), monitor->PatientID);
        json.value(QStringLiteral("patientName"), monitor->PatientName);
        json.endObject();
    }
    json.endArray();
    if (content.reservedOffset >= 0) {
        json.beginObject(QStringLiteral("reservedSpace"), true);
        json.value(QStringLiteral("offset"), content.reservedOffset);
        json.value(QStringLiteral("size"), content.reservedSize);
        json.endObject();
    }
}

void writeEvents(JsonWriter& json, const TEventSerie& events) {
    json.beginObject(QStringLiteral("events"));
    json.value(QStringLiteral("caption"), events.Caption);
    json.beginArray(QStringLiteral("points"));
    for (const TEventPoint& event : events.Points) {
        json.beginObject({}, true);
        json.value(QStringLiteral("time"), timeText(event.X));
        json.value(QStringLiteral("text"), event.Text);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void writeProblems(JsonWriter& json, const std::vector<TFileProblem>& problems) {
    json.beginArray(QStringLiteral("problems"));
    for (const TFileProblem& problem : problems) {
        json.beginObject({}, true);
        json.value(QStringLiteral("kind"), problemKindName(problem.kind));
        if (problem.offset >= 0)
            json.value(QStringLiteral("offset"), problem.offset);
        json.value(QStringLiteral("text"), problem.text);
        json.endObject();
    }
    json.endArray();
}

QString dump(const QString& fileName, qint64 size, const TStoredFileContent& content) {
    JsonWriter json;
    json.beginObject();
    writeFileFacts(json, fileName, size, content);
    writeMonitors(json, content);
    json.beginArray(QStringLiteral("series"));
    for (const TParameterSerie* serie : content.series())
        writeSerie(json, *serie);
    json.endArray();
    if (const TEventSerie* events = content.eventSerie())
        writeEvents(json, *events);
    writeProblems(json, content.problems);
    json.endObject();
    return json.text();
}

QString usage() {
    return QStringLiteral(
        "Usage: tarvo-pil dump FILE | tarvo-pil check FILE\n"
        "       tarvo-pil export --csv [--separator SEP] [--decimal-mark MARK] FILE\n"
        "       tarvo-pil export --fhir FILE\n"
        "Reads a patient data file (Tarvo.pil, TarvoEvents.pil) and reports what it holds.\n"
        "\n"
        "  dump       print the file's content and problems as JSON\n"
        "  check      print the problems found; exit status 1 when there are any, 0 when\n"
        "             none, 2 when the file cannot be read\n"
        "  export     print every result point, in time order: with --csv as a table for a\n"
        "             spreadsheet (UTF-8, a header row, then time in ISO 8601 with the offset\n"
        "             from UTC, parameter, site, unit, value, status), with --fhir as a FHIR R4\n"
        "             Bundle of type collection with one Observation per point. The CSV\n"
        "             follows the locale (LC_ALL, LC_NUMERIC, LANG): where its decimal mark is\n"
        "             a comma, values use a comma and fields are separated by semicolons;\n"
        "             elsewhere a point and commas. --separator (one character, or \"tab\")\n"
        "             and --decimal-mark (\".\" or \",\") choose otherwise. Exit status 1 when\n"
        "             the file has problems (the points that could be read are exported and\n"
        "             the problems printed on standard error)\n"
        "  --version  print the version and exit\n"
        "  --help     print this text and exit\n");
}

struct ReadFile {
    QByteArray data;
    TStoredFileContent content;
};

// Reads a stored file; false (the reason printed) when it cannot be read.
bool readStoredFile(const QString& fileName, ReadFile& read) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        print(stderr,
              QStringLiteral("tarvo-pil: cannot read %1: %2\n").arg(fileName, file.errorString()));
        return false;
    }
    if (file.size() > TSaveItNew::kLargestFile) {
        print(stderr, QStringLiteral("tarvo-pil: %1 is too large for a stored file (%2 bytes)\n")
                          .arg(fileName)
                          .arg(file.size()));
        return false;
    }
    read.data = file.readAll();
    read.content = StoredFileParser::parseTolerant(read.data);
    if (read.content.layout == TMicroReader::HeaderLayout::Headerless) {
        read.content.problems.insert(
            read.content.problems.begin(),
            {TFileProblem::Kind::Unreadable, 0,
             QStringLiteral("the file does not begin with an object stream "
                            "header; its bytes were read as bare records")});
    }
    return true;
}

QString problemLine(const QString& fileName, const TFileProblem& problem) {
    const QString where =
        problem.offset >= 0 ? QStringLiteral("byte %1").arg(problem.offset) : QStringLiteral("-");
    return QStringLiteral("%1: %2: %3: %4\n")
        .arg(fileName, where, problemKindName(problem.kind), problem.text);
}

bool parseCharacter(const QString& text, bool separator, QChar& character) {
    if (separator && text == QLatin1String("tab")) {
        character = u'\t';
        return true;
    }
    if (text.size() != 1 || text[0] == u'"' || text[0] == u'\r' || text[0] == u'\n')
        return false;
    if (!separator && text != QLatin1String(".") && text != QLatin1String(","))
        return false;
    character = text[0];
    return true;
}

// What the export command was asked for.
struct ExportRequest {
    bool csv = false;
    bool fhir = false;
    QString fileName;
    std::optional<QChar> separator;
    std::optional<QChar> decimalMark;
};

// Reads the export command's arguments; nullopt (the reason printed) when they do not fit.
std::optional<ExportRequest> parseExportArguments(const QStringList& arguments) {
    ExportRequest request;
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--csv")) {
            request.csv = true;
        } else if (argument == QLatin1String("--fhir")) {
            request.fhir = true;
        } else if ((argument == QLatin1String("--separator") ||
                    argument == QLatin1String("--decimal-mark")) &&
                   i + 1 < arguments.size()) {
            const bool isSeparator = argument == QLatin1String("--separator");
            QChar character;
            if (!parseCharacter(arguments[++i], isSeparator, character)) {
                print(stderr,
                      QStringLiteral("tarvo-pil: %1 cannot be %2\n").arg(argument, arguments[i]));
                return std::nullopt;
            }
            (isSeparator ? request.separator : request.decimalMark) = character;
        } else if (!argument.startsWith(QLatin1String("--")) && request.fileName.isEmpty()) {
            request.fileName = argument;
        } else {
            print(stderr, usage());
            return std::nullopt;
        }
    }
    if (request.csv == request.fhir || request.fileName.isEmpty() ||
        (request.fhir && (request.separator || request.decimalMark))) {
        print(stderr, usage());
        return std::nullopt;
    }
    return request;
}

// The CSV format of the locale with the marks asked for; nullopt (printed) when they clash.
std::optional<Export::CsvFormat> csvFormatFor(const ExportRequest& request) {
    Export::CsvFormat format = Export::CsvFormat::forLocale(QLocale::system());
    if (request.decimalMark) {
        format.decimalMark = *request.decimalMark;
        if (!request.separator && format.separator == *request.decimalMark)
            format.separator = *request.decimalMark == u',' ? u';' : u',';
    }
    if (request.separator)
        format.separator = *request.separator;
    if (format.separator == format.decimalMark) {
        print(stderr,
              QStringLiteral("tarvo-pil: the separator and the decimal mark must differ\n"));
        return std::nullopt;
    }
    return format;
}

int exportCommand(const QStringList& arguments) {
    const std::optional<ExportRequest> request = parseExportArguments(arguments);
    if (!request)
        return kUsageError;
    const std::optional<Export::CsvFormat> format = csvFormatFor(*request);
    if (!format)
        return kUsageError;
    ReadFile read;
    if (!readStoredFile(request->fileName, read))
        return kUsageError;
    const QByteArray output = request->csv
                                  ? Export::csv(read.content, *format)
                                  : Export::fhir(read.content, QDateTime::currentDateTimeUtc());
    std::fwrite(output.constData(), 1, std::size_t(output.size()), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        print(stderr, QStringLiteral("tarvo-pil: the export could not be written\n"));
        return kUsageError;
    }
    if (Export::pointCount(read.content) == 0)
        print(stderr,
              QStringLiteral("tarvo-pil: %1 holds no result points\n").arg(request->fileName));
    for (const TFileProblem& problem : read.content.problems)
        print(stderr, problemLine(request->fileName, problem));
    return read.content.problems.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 2 && arguments[1] == QLatin1String("--help")) {
        print(stdout, usage());
        return 0;
    }
    if (arguments.size() == 2 && arguments[1] == QLatin1String("--version")) {
        print(stdout, QStringLiteral("tarvo-pil " TARVO_VERSION "\n"));
        return 0;
    }
    if (arguments.size() >= 2 && arguments[1] == QLatin1String("export"))
        return exportCommand(arguments);
    if (arguments.size() != 3 ||
        (arguments[1] != QLatin1String("dump") && arguments[1] != QLatin1String("check"))) {
        print(stderr, usage());
        return kUsageError;
    }
    const QString fileName = arguments[2];
    ReadFile read;
    if (!readStoredFile(fileName, read))
        return kUsageError;
    const QByteArray& data = read.data;
    const TStoredFileContent& content = read.content;

    if (arguments[1] == QLatin1String("dump")) {
        print(stdout, dump(fileName, data.size(), content));
        return 0;
    }
    if (content.problems.empty()) {
        print(stdout, fileName + QStringLiteral(": no problems found\n"));
        return 0;
    }
    for (const TFileProblem& problem : content.problems)
        print(stdout, problemLine(fileName, problem));
    return 1;
}
