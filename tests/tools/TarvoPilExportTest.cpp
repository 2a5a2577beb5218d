// The exports of the inspection tool: a CSV table read back as a spreadsheet would read it, and
// a FHIR R4 Bundle checked by an independent FHIR validator.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "OleDateTime.h"
#include "TSaveItNew.h"
#include "ToolRun.h"

namespace {

// Central European time with its summer time, spelled out so that no time-zone database is
// needed.
const QString kZone = QStringLiteral("CET-1CEST,M3.5.0,M10.5.0/3");

ToolRun tarvoPil(const QStringList& arguments, const QString& locale = QStringLiteral("C")) {
    return runTool(QStringLiteral(TARVO_BIN_DIR "/tarvo-pil"), arguments,
                   {{QStringLiteral("TZ"), kZone}, {QStringLiteral("LC_ALL"), locale}});
}

double localDays(int year, int month, int day, int hour, int minute, int second = 0) {
    return OleDateTime::fromDateTime(
        QDateTime(QDate(year, month, day), QTime(hour, minute, second)));
}

struct StoredPoint {
    int serie;
    double time;
    double value;
    TAnalyseResult status;
    QString statusText;
};

struct Serie {
    QString parameter;
    QString site;
    QString unit;
};

const std::vector<Serie> kSeries = {
    {QStringLiteral("Glucose"), QStringLiteral("CNS"), QStringLiteral("mM")},
    {QStringLiteral("Pyruvate"), QStringLiteral("=HYPERLINK(\"x\")"), QStringLiteral("µM")},
    {QStringLiteral("LPRatio"), QStringLiteral("Catheter; left"), QString()},
    {QStringLiteral("Glycerol"), QStringLiteral("Muscle"), QStringLiteral("furlongs")},
};

// Stored out of time order: the export sorts them. The winter point is at +01:00, the summer
// points at +02:00. (Built on first use: the time conversion has constants of its own.)
const std::vector<StoredPoint>& storedPoints() {
    static const std::vector<StoredPoint> points = {
        {0, localDays(2026, 7, 1, 9, 30), 4.25, TAnalyseResult::arNormal, QStringLiteral("OK")},
        {0, localDays(2026, 12, 8, 12, 0), 0.1, TAnalyseResult::arUnderDetectionLimit, QString()},
        {1, localDays(2026, 7, 1, 8, 0, 15), 123.456, TAnalyseResult::arOverLinearityInterval,
         QStringLiteral("high, \"check\"")},
        {2, localDays(2026, 7, 1, 10, 0), 1e10, TAnalyseResult::arNormal, QString()},
        {2, localDays(2026, 7, 1, 10, 30), 25.5, TAnalyseResult::arNormal, QString()},
        {3, localDays(2026, 7, 1, 11, 0), std::numeric_limits<double>::quiet_NaN(),
         TAnalyseResult::arNormal, QStringLiteral("-err")},
    };
    return points;
}

// storedPoints() in the order the export gives them.
const std::vector<int> kTimeOrder = {2, 0, 3, 4, 5, 1};

class TarvoPilExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The file is written in the zone the tool reads it in.
        qputenv("TZ", kZone.toUtf8());
        tzset();
        TSaveItNew writer;
        writer.SetFileName(file());
        writer.OpenMonitorFile(QStringLiteral("Tarvo"), QStringLiteral("SN 4711"), false,
                               QStringLiteral("Åsa Öberg"), QStringLiteral("1912-12-12"));
        for (std::size_t i = 0; i < kSeries.size(); ++i)
            writer.RegisterSerie(qint16(i), kSeries[i].parameter, kSeries[i].site, QString(),
                                 QStringLiteral("Substance%1").arg(i), kSeries[i].unit);
        for (const StoredPoint& point : storedPoints())
            ASSERT_TRUE(writer.AppendPoint(qint16(point.serie), point.status, 1,
                                           QStringLiteral("V1"), point.statusText, point.value,
                                           point.time));
        ASSERT_TRUE(writer.AppendSerieBreak(0, localDays(2026, 12, 8, 13, 0)));
    }
    void TearDown() override {
        qunsetenv("TZ");
        tzset();
    }
    QString file() const { return dir.path() + QStringLiteral("/Tarvo.pil"); }
    QTemporaryDir dir;
};

// Splits CSV text as a spreadsheet does: quoted fields may hold the separator, quotes (doubled)
// and line ends.
std::vector<QStringList> parseCsv(const QString& text, QChar separator) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    EXPECT_TRUE(field.isEmpty() && row.isEmpty()) << "the last row has no line end";
    return rows;
}

const QStringList kExpectedTimes = {"2026-07-01T08:00:15+02:00", "2026-07-01T09:30:00+02:00",
                                    "2026-07-01T10:00:00+02:00", "2026-07-01T10:30:00+02:00",
                                    "2026-07-01T11:00:00+02:00", "2026-12-08T12:00:00+01:00"};

} // namespace

TEST_F(TarvoPilExportTest, CsvReadsBackInTheLocalesOfSpreadsheets) {
    struct Case {
        const char* locale;
        QStringList options;
        QChar separator;
        QChar decimalMark;
    };
    const std::vector<Case> cases = {
        {"en_US.UTF-8", {}, u',', u'.'},
        {"C", {}, u',', u'.'},
        {"de_DE.UTF-8", {}, u';', u','},
        {"sv_SE.UTF-8", {"--separator", "tab"}, u'\t', u','},
        {"en_GB.UTF-8", {"--decimal-mark", ","}, u';', u','},
        {"de_DE.UTF-8", {"--decimal-mark", ".", "--separator", "|"}, u'|', u'.'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.locale, c.options.join(u' ')).toStdString());
        const ToolRun run =
            tarvoPil(QStringList{"export", "--csv"} + c.options + QStringList{file()},
                     QString::fromLatin1(c.locale));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        ASSERT_TRUE(run.out.startsWith("\xEF\xBB\xBF")) << "UTF-8 with its byte order mark";
        const std::vector<QStringList> rows =
            parseCsv(QString::fromUtf8(run.out.mid(3)), c.separator);
        ASSERT_EQ(rows.size(), storedPoints().size() + 1) << run.out.toStdString();
        EXPECT_EQ(rows[0], QStringList({"Time", "Parameter", "Site", "Unit", "Value", "Status"}));
        for (std::size_t i = 0; i < kTimeOrder.size(); ++i) {
            const StoredPoint& point = storedPoints()[std::size_t(kTimeOrder[i])];
            const Serie& serie = kSeries[std::size_t(point.serie)];
            const QStringList& row = rows[i + 1];
            ASSERT_EQ(row.size(), 6) << row.join(u'|').toStdString();
            EXPECT_EQ(row[0], kExpectedTimes[qsizetype(i)]);
            EXPECT_EQ(row[1], serie.parameter);
            // Text a spreadsheet would run as a formula stays text.
            EXPECT_EQ(row[2], serie.site.startsWith(u'=') ? u'\'' + serie.site : serie.site);
            EXPECT_EQ(row[3], serie.unit);
            if (std::isnan(point.value)) {
                EXPECT_TRUE(row[4].isEmpty());
            } else {
                EXPECT_FALSE(row[4].contains(c.decimalMark == u'.' ? u',' : u'.'));
                QString number = row[4];
                number.replace(c.decimalMark, u'.');
                bool ok = false;
                EXPECT_EQ(number.toDouble(&ok), point.value) << row[4].toStdString();
                EXPECT_TRUE(ok);
            }
            const QString status = point.statusText.isEmpty()
                                       ? analyseResultName(quint8(point.status))
                                       : point.statusText;
            EXPECT_EQ(row[5], status.startsWith(u'-') ? u'\'' + status : status);
        }
    }
}

TEST_F(TarvoPilExportTest, ExportRefusesWhatItCannotDo) {
    struct Case {
        QStringList arguments;
        const char* locale;
        int exitCode;
        const char* error;
    };
    const std::vector<Case> cases = {
        {{"export", "--csv", "--fhir", "F"}, "C", 2, "Usage"},
        {{"export", "F"}, "C", 2, "Usage"},
        {{"export", "--csv"}, "C", 2, "Usage"},
        {{"export", "--fhir", "--separator", ";", "F"}, "C", 2, "Usage"},
        {{"export", "--csv", "--separator", "ab", "F"}, "C", 2, "cannot be ab"},
        {{"export", "--csv", "--separator", "\"", "F"}, "C", 2, "cannot be"},
        {{"export", "--csv", "--decimal-mark", ";", "F"}, "C", 2, "cannot be ;"},
        {{"export", "--csv", "--separator", ",", "F"}, "de_DE.UTF-8", 2, "must differ"},
        {{"export", "--csv", "missing.pil"}, "C", 2, "cannot read"},
    };
    for (const Case& c : cases) {
        QStringList arguments = c.arguments;
        arguments.replaceInStrings(QRegularExpression(QStringLiteral("^F$")), file());
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const ToolRun run = tarvoPil(arguments, QString::fromLatin1(c.locale));
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }

    // A file cut short in its last record: what can be read is exported, and the problem is
    // reported, also by the exit status.
    QFile data(file());
    ASSERT_TRUE(data.open(QIODevice::ReadWrite));
    ASSERT_TRUE(data.resize(data.size() - 5));
    data.close();
    const ToolRun cut = tarvoPil({"export", "--csv", file()});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_TRUE(cut.err.contains("truncated record")) << cut.err.toStdString();
    EXPECT_EQ(parseCsv(QString::fromUtf8(cut.out.mid(3)), u',').size(), storedPoints().size() + 1);
}

namespace {

QJsonObject fhirExport(const QString& file) {
    const ToolRun run = tarvoPil({"export", "--fhir", file});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    return document.object();
}

} // namespace

TEST_F(TarvoPilExportTest, FhirBundleHoldsOneObservationPerPoint) {
    const QJsonObject bundle = fhirExport(file());
    EXPECT_EQ(bundle["resourceType"].toString(), "Bundle");
    EXPECT_EQ(bundle["type"].toString(), "collection");
    EXPECT_TRUE(QDateTime::fromString(bundle["timestamp"].toString(), Qt::ISODate).isValid());
    const QJsonArray entries = bundle["entry"].toArray();
    ASSERT_EQ(entries.size(), qsizetype(storedPoints().size()));

    struct Expected {
        const char* code; // UCUM code, empty for none
        const char* unit;
        const char* comparator;
        bool absent; // no value, a reason instead
    };
    // In export order (kTimeOrder).
    const std::vector<Expected> expected = {
        {"umol/L", "µM", ">", false}, {"mmol/L", "mM", "", false}, {"", "", "", true},
        {"1", "ratio", "", false},    {"", "", "", true},          {"mmol/L", "mM", "<", false},
    };
    QSet<QString> urls;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const StoredPoint& point = storedPoints()[std::size_t(kTimeOrder[std::size_t(i)])];
        const Serie& serie = kSeries[std::size_t(point.serie)];
        const Expected& want = expected[std::size_t(i)];
        urls << entries[i].toObject()["fullUrl"].toString();
        const QJsonObject observation = entries[i].toObject()["resource"].toObject();
        EXPECT_EQ(observation["resourceType"].toString(), "Observation");
        EXPECT_EQ(observation["status"].toString(), "final");
        EXPECT_EQ(observation["code"].toObject()["text"].toString(), serie.parameter);
        EXPECT_EQ(observation["bodySite"].toObject()["text"].toString(), serie.site);
        EXPECT_EQ(observation["effectiveDateTime"].toString(), kExpectedTimes[i]);
        const QJsonObject subject = observation["subject"].toObject();
        EXPECT_EQ(subject["identifier"].toObject()["value"].toString(), "1912-12-12");
        EXPECT_EQ(subject["display"].toString(), QStringLiteral("Åsa Öberg"));
        const QJsonObject device = observation["device"].toObject();
        EXPECT_EQ(device["display"].toString(), "Tarvo");
        EXPECT_EQ(device["identifier"].toObject()["value"].toString(), "SN 4711");
        if (want.absent) {
            EXPECT_FALSE(observation.contains("valueQuantity"));
            EXPECT_EQ(observation["dataAbsentReason"]["coding"][0]["code"].toString(), "error");
            continue;
        }
        const QJsonObject quantity = observation["valueQuantity"].toObject();
        EXPECT_EQ(quantity["value"].toDouble(), point.value);
        EXPECT_EQ(quantity["unit"].toString(), QString::fromUtf8(want.unit));
        EXPECT_EQ(quantity["code"].toString(), QString::fromUtf8(want.code));
        EXPECT_EQ(quantity.contains("system"), *want.code != 0);
        if (*want.code != 0) {
            EXPECT_EQ(quantity["system"].toString(), "http://unitsofmeasure.org");
        }
        EXPECT_EQ(quantity["comparator"].toString(), QString::fromUtf8(want.comparator));
    }
    EXPECT_EQ(urls.size(), entries.size()) << "every entry has its own identity";
    EXPECT_EQ(fhirExport(file())["entry"], bundle["entry"]) << "the same file, the same export";
}

TEST_F(TarvoPilExportTest, FhirBundleValidatesAsR4) {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty())
        GTEST_SKIP() << "node is not installed: the FHIR validation cannot run "
                        "(scripts/install-dependencies.sh installs it)";
    const QString validator = QStringLiteral(TARVO_FHIR_VALIDATOR_DIR);
    ASSERT_TRUE(QFile::exists(validator + QStringLiteral("/node_modules/fhir/package.json")))
        << "the validator's packages are missing: run scripts/install-dependencies.sh";
    const ToolRun run = tarvoPil({"export", "--fhir", file()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    const auto validate = [&](const QByteArray& json) {
        QFile out(dir.path() + QStringLiteral("/bundle.json"));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(json);
        out.close();
        QProcess process;
        process.setWorkingDirectory(validator);
        process.start(node, {validator + QStringLiteral("/validate.js"), out.fileName()});
        EXPECT_TRUE(process.waitForFinished(60000));
        return std::make_pair(process.exitCode(), process.readAllStandardError());
    };
    const auto [status, problems] = validate(run.out);
    EXPECT_EQ(status, 0) << problems.toStdString();

    // The validator finds what is wrong: an Observation without its status.
    QJsonObject bundle = QJsonDocument::fromJson(run.out).object();
    QJsonArray entries = bundle["entry"].toArray();
    QJsonObject entry = entries[0].toObject();
    QJsonObject observation = entry["resource"].toObject();
    observation.remove(QStringLiteral("status"));
    entry["resource"] = observation;
    entries[0] = entry;
    bundle["entry"] = entries;
    const auto [brokenStatus, brokenProblems] = validate(QJsonDocument(bundle).toJson());
    EXPECT_EQ(brokenStatus, 1);
    EXPECT_TRUE(brokenProblems.contains("Observation.status")) << brokenProblems.toStdString();
}

TEST_F(TarvoPilExportTest, FileWithoutPointsGivesAnEmptyExport) {
    QTemporaryDir empty;
    TSaveItNew writer;
    writer.SetFileName(empty.path() + QStringLiteral("/Tarvo.pil"));
    writer.OpenMonitorFile(QStringLiteral("Tarvo"), QString(), false, QString(),
                           QStringLiteral("P1"));
    const QJsonObject bundle = fhirExport(writer.FileName());
    EXPECT_EQ(bundle["type"].toString(), "collection");
    EXPECT_FALSE(bundle.contains("entry")) << "FHIR allows no empty arrays";
    const ToolRun csv = tarvoPil({"export", "--csv", writer.FileName()});
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.out, "\xEF\xBB\xBFTime,Parameter,Site,Unit,Value,Status\r\n");
    EXPECT_TRUE(csv.err.contains("holds no result points"));
}
