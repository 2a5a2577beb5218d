// Storing points in a patient data file: appending alone, and the open-find-append sequence that
// result processing runs for every stored value. Prints rates and ratios; run a Release build.
// Appending is held to the machine's limit measured in the same run: one write() per point
// record, of the same size, to a file held open. Beside it, the floor of a checked append: the
// look at the open file before the write, the write at the end, and the look after it that an
// append to a file other programs may touch needs (see the README), with nothing else.
//
//   store_bench [N]   N: the larger point count (default 100000); the smaller is N / 10
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "OpenFile.h"
#include "PatientDataFile.h"
#include "TSaveItNew.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr double kStart = 46364.5;
constexpr double kMinute = 1.0 / 1440;

QString freshFolder(const QTemporaryDir& dir, const QString& name) {
    const QString folder = dir.path() + u'/' + name + u'/';
    QDir().mkpath(folder);
    return folder;
}

// Appends n points to a new file with one series.
double appendOnly(const QTemporaryDir& dir, int n) {
    TSaveItNew writer;
    const QString folder = freshFolder(dir, QStringLiteral("append%1").arg(n));
    if (!OpenPatientDataFile(writer, folder, QStringLiteral("Bench Patient"), QStringLiteral("B1"))
             .opened)
        return -1;
    writer.RegisterSerie(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                         QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        if (!writer.AppendPoint(0, TAnalyseResult::arNormal, 1, QStringLiteral("V12"),
                                QStringLiteral("OK"), 1.0 + i % 7, kStart + i * kMinute))
            return -1;
    }
    return seconds(start);
}

// Writes n records of the given size to a new file held open, one write() each.
double writeLimit(const QTemporaryDir& dir, int n, qsizetype recordSize) {
    OpenFile file;
    if (!file.open(freshFolder(dir, QStringLiteral("limit%1").arg(n)) + QStringLiteral("raw")))
        return -1;
    const QByteArray record(recordSize, 'x');
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        if (!file.write(record.constData(), record.size()))
            return -1;
    }
    return seconds(start);
}

// Writes n records of the given size at the end of a new file held open, looking at the open
// file before and after each write: the system calls of a checked append and nothing else.
double checkedWriteFloor(const QTemporaryDir& dir, int n, qsizetype recordSize) {
    OpenFile file;
    if (!file.open(freshFolder(dir, QStringLiteral("floor%1").arg(n)) + QStringLiteral("raw")))
        return -1;
    const QByteArray record(recordSize, 'x');
    qint64 end = 0;
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        if (file.stamp().size != end || !file.writeAt(end, record) || file.stamp().size < 0)
            return -1;
        end += record.size();
    }
    return seconds(start);
}

// Stores n values one by one as result processing does: open the patient's file, find the
// series (registering it the first time), append.
double oneByOne(const QTemporaryDir& dir, int n) {
    TSaveItNew writer;
    const QString folder = freshFolder(dir, QStringLiteral("single%1").arg(n));
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        const TPatientDataFileOpening opening = OpenPatientDataFile(
            writer, folder, QStringLiteral("Bench Patient"), QStringLiteral("B1"));
        if (!opening.opened)
            return -1;
        if (opening.CurrentSeries.empty())
            writer.RegisterSerie(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                                 QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
        if (!writer.AppendPoint(0, TAnalyseResult::arNormal, 1, QStringLiteral("V12"),
                                QStringLiteral("OK"), 1.0 + i % 7, kStart + i * kMinute))
            return -1;
    }
    return seconds(start);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int large = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;
    const int small = large / 10;
    QTemporaryDir dir;

    const double appendSmall = appendOnly(dir, small);
    const double appendLarge = appendOnly(dir, large);
    const qsizetype recordSize =
        TSaveItNew::BuildPointRecord(0, TAnalyseResult::arNormal, 1, QStringLiteral("V12"),
                                     QStringLiteral("OK"), 1.0, kStart)
            .size();
    const double limitLarge = writeLimit(dir, large, recordSize);
    const double floorLarge = checkedWriteFloor(dir, large, recordSize);
    const double singleSmall = oneByOne(dir, small);
    const double singleLarge = oneByOne(dir, large);
    if (appendSmall < 0 || appendLarge < 0 || limitLarge < 0 || floorLarge < 0 || singleSmall < 0 ||
        singleLarge < 0) {
        std::fprintf(stderr, "store_bench: a store failed\n");
        return 1;
    }
    std::printf("append only:   %6d points %.3f s, %6d points %.3f s  (%.0f points/s)\n", small,
                appendSmall, large, appendLarge, large / appendLarge);
    std::printf("  limit:       %6d write() calls of %lld-byte records to an open file %.3f s  "
                "(%.0f records/s)\n",
                large, static_cast<long long>(recordSize), limitLarge, large / limitLarge);
    std::printf("  append only / limit: %.2f (target at least 0.33)\n", limitLarge / appendLarge);
    std::printf("  checked-write floor: %6d look, write, look at the end of an open file %.3f s  "
                "(%.0f records/s, %.2f of the limit)\n",
                large, floorLarge, large / floorLarge, limitLarge / floorLarge);
    std::printf("  append only / checked-write floor: %.2f\n", floorLarge / appendLarge);
    std::printf("  linearity:   %d points cost %.2f times %d (target at most 12)\n", large,
                appendLarge / appendSmall, small);
    std::printf("one by one:    %6d values %.3f s, %6d values %.3f s  (%.0f values/s)\n", small,
                singleSmall, large, singleLarge, large / singleLarge);
    std::printf("  linearity:   %d values cost %.2f times %d (target at most 12)\n", large,
                singleLarge / singleSmall, small);
    std::printf("  one by one / append only at %d: %.2f\n", large, singleLarge / appendLarge);
    return 0;
}
