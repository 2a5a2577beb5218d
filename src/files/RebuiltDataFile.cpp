#include "RebuiltDataFile.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "MoveAsideFile.h"
#include "PatientDataFile.h"
#include "ProcessIdentity.h"
#include "StoredFileParser.h"
#include "TarvoError.h"

namespace RebuiltDataFile {

namespace {

// A data point as compared between two files: its series (name, place, extra name and unit)
// and its fields. Times and values compare as numbers (every NaN alike).
struct Result {
    QString series;
    quint64 time = 0;
    quint64 value = 0;
    int status = 0;
    QString statusText;
    QString vial;
    qint32 attempt = 0;

    bool operator==(const Result&) const = default;
};

quint64 bitsOf(double number) {
    if (std::isnan(number))
        number = std::numeric_limits<double>::quiet_NaN();
    quint64 bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
}

size_t qHash(const Result& result, size_t seed = 0) {
    return qHashMulti(seed, result.series, result.time, result.value, result.status,
                      result.statusText, result.vial, result.attempt);
}

// The bytes of a file; none when it cannot be read.
QByteArray bytesOf(const QString& fileName) {
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Every data point of a file's bytes, with how often it occurs.
QHash<Result, int> resultsOf(const QByteArray& bytes) {
    QHash<Result, int> results;
    if (bytes.isEmpty())
        return results;
    const TStoredFileContent content = StoredFileParser::parseTolerant(bytes);
    for (const TParameterSerie* serie : content.series()) {
        if (!serie->Points)
            continue;
        const QString series = serie->Identity.ParameterName() + u'\x1f' +
                               serie->Identity.MeasurementPlace() + u'\x1f' +
                               serie->Identity.ParamExtraName() + u'\x1f' + serie->Unit;
        results.reserve(results.size() + qsizetype(serie->Points->Points.size()));
        for (const TSeriesPoint& point : serie->Points->Points) {
            const auto* data = std::get_if<TTarvoDataPoint>(&point);
            if (!data)
                continue;
            ++results[Result{series, bitsOf(data->X), bitsOf(data->Y), data->AnalyseResult,
                             data->AnalyseResultString, data->VialID, data->AttemptNo}];
        }
    }
    return results;
}

std::filesystem::path pathOf(const QString& fileName) {
    return std::filesystem::path(QDir::toNativeSeparators(fileName).toStdU16String());
}

} // namespace

QString NameFor(const QString& dataFile) {
    QString host = ProcessIdentity::hostName();
    for (QChar& c : host) {
        if (!c.isLetterOrNumber() && c != u'-')
            c = u'_';
    }
    return dataFile + u'.' + host + u'-' + QString::number(ProcessIdentity::currentProcessId()) +
           QLatin1String(kSuffix);
}

QStringList LeftBeside(const QString& dataFile) {
    const QFileInfo info(dataFile);
    const QDir folder = info.dir();
    QStringList files;
    for (const QString& name : folder.entryList({info.fileName() + u'*' + QLatin1String(kSuffix)},
                                                QDir::Files | QDir::Hidden | QDir::System))
        files << folder.filePath(name);
    return files;
}

QStringList InterruptedIn(const QString& dataRoot) {
    QStringList folders;
    const QDir root(dataRoot);
    for (const QString& name :
         root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        if (!LeftBeside(root.filePath(name) + u'/' + QLatin1String(kPatientDataFileName)).isEmpty())
            folders << name;
    }
    return folders;
}

QString Check(const QString& rebuiltFile) {
    QFile file(rebuiltFile);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the rebuilt file cannot be read: ") + file.errorString();
    const QByteArray data = file.readAll();
    try {
        const TStoredFileContent content = StoredFileParser::parse(data, false, false);
        for (const TFileProblem& problem : content.problems) {
            if (problem.kind == TFileProblem::Kind::DamagedRecord ||
                problem.kind == TFileProblem::Kind::TruncatedRecord ||
                problem.kind == TFileProblem::Kind::Unreadable ||
                problem.kind == TFileProblem::Kind::IndexGap)
                return QStringLiteral("the rebuilt file is damaged: ") + problem.text;
        }
        if (content.monitors().empty())
            return QStringLiteral("the rebuilt file holds no monitor information");
        if (content.validEnd != data.size())
            return QStringLiteral("the rebuilt file does not end with a complete record");
    } catch (const std::exception& error) {
        return QStringLiteral("the rebuilt file cannot be read: ") + describeError(error);
    }
    return {};
}

int MissingResults(const QString& oldFile, const QString& rebuiltFile) {
    const QByteArray oldBytes = bytesOf(oldFile);
    if (oldBytes.isEmpty())
        return 0;
    const QByteArray rebuiltBytes = bytesOf(rebuiltFile);
    // A rebuilt file that begins with every byte of the old one holds each of its records where
    // the old file has it (as when nothing changed in the archive since the last rebuild).
    if (rebuiltBytes.startsWith(oldBytes))
        return 0;
    const QHash<Result, int> old = resultsOf(oldBytes);
    if (old.isEmpty())
        return 0;
    const QHash<Result, int> rebuilt = resultsOf(rebuiltBytes);
    int missing = 0;
    for (auto it = old.cbegin(); it != old.cend(); ++it)
        missing += std::max(0, it.value() - rebuilt.value(it.key()));
    return missing;
}

Replacement Replace(const QString& dataFile, const QString& rebuiltFile) {
    Replacement replacement;
    const bool rebuilt = QFileInfo::exists(rebuiltFile);
    if (QFileInfo::exists(dataFile)) {
        replacement.missingResults = MissingResults(dataFile, rebuilt ? rebuiltFile : QString());
        if (replacement.missingResults > 0 &&
            !MoveAsideFile(dataFile, false, &replacement.keptAs)) {
            replacement.failure = QStringLiteral("the old data file cannot be moved aside");
            QFile::remove(rebuiltFile);
            return replacement;
        }
    }
    if (!rebuilt) {
        replacement.replaced = MoveAsideFile(dataFile, true);
        if (!replacement.replaced)
            replacement.failure = QStringLiteral("the old data file cannot be removed");
        return replacement;
    }
    // One step where the platform can: the data file is the old one or the new one, never
    // none or a part of one.
    std::error_code error;
    std::filesystem::rename(pathOf(rebuiltFile), pathOf(dataFile), error);
    if (!error) {
        replacement.replaced = true;
        return replacement;
    }
    // A data file that cannot be replaced in one step (write-protected on some systems) goes
    // first.
    if (MoveAsideFile(dataFile, true) && QFile::rename(rebuiltFile, dataFile)) {
        replacement.replaced = true;
        return replacement;
    }
    replacement.failure = QString::fromStdString(error.message());
    QFile::remove(rebuiltFile);
    return replacement;
}

} // namespace RebuiltDataFile
