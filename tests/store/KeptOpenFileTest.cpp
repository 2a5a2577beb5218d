// The writer keeps the data file it appends to open between appends: what other programs do to
// the file meanwhile must still be seen, and the file is let go once the event loop runs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "FileBytes.h"
#include "PatientDataFile.h"
#include "StoredFileParser.h"
#include "TSaveItNew.h"

namespace {

constexpr double kNoon = 46364.5;

std::vector<double> valuesIn(const TStoredFileContent& content) {
    std::vector<double> values;
    for (const TParameterSerie* serie : content.series()) {
        if (!serie->Points)
            continue;
        for (const TSeriesPoint& point : serie->Points->Points) {
            if (const auto* data = std::get_if<TTarvoDataPoint>(&point))
                values.push_back(data->Y);
        }
    }
    return values;
}

std::vector<double> valuesOf(const QString& path) {
    const TStoredFileContent content = StoredFileParser::parse(readFile(path));
    EXPECT_TRUE(content.problems.empty()) << path.toStdString();
    return valuesIn(content);
}

// How many descriptors of this process are open on the file.
int descriptorsOn(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    const QStringList names =
        descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_FALSE(names.isEmpty()) << "this process's descriptors cannot be listed";
    for (const QString& name : names)
        count += QFileInfo(descriptors.filePath(name)).symLinkTarget() == target ? 1 : 0;
    return count;
}

class KeptOpenFileTest : public ::testing::Test {
public:
    QString folder() const { return dir.path() + "/P1/"; }
    QString tarvo() const { return folder() + "Tarvo.pil"; }
    void SetUp() override { QDir().mkpath(folder()); }

    void openAndRegister(TSaveItNew& writer) {
        const TPatientDataFileOpening opening =
            OpenPatientDataFile(writer, folder(), QStringLiteral("Åsa"), QStringLiteral("1912"));
        ASSERT_TRUE(opening.opened);
        if (opening.CurrentSeries.empty())
            writer.RegisterSerie(0, QStringLiteral("Glucose"), QStringLiteral("CNS"), QString(),
                                 QStringLiteral("OstraSubstance1"), QStringLiteral("mM"));
    }
    static void append(TSaveItNew& writer, double value) {
        ASSERT_TRUE(writer.AppendPoint(0, TAnalyseResult::arNormal, 1, QStringLiteral("V1"),
                                       QStringLiteral("OK"), value, kNoon + value / 1440))
            << writer.LastError().toStdString();
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(KeptOpenFileTest, WhatOthersDoBetweenTwoAppendsIsSeen) {
    struct Case {
        const char* name;
        std::function<void(KeptOpenFileTest&)> meanwhile;
        std::vector<double> expected; // the values in the file that has the name afterwards
        std::vector<double> aside;    // the values in "aside.pil" afterwards, when there is one
    };
    const std::vector<Case> cases = {
        {"nothing", [](KeptOpenFileTest&) {}, {1, 2}, {}},
        {"replaced by a rename (as a rebuild or another collector does)",
         [](KeptOpenFileTest& t) {
             const QString copy = t.folder() + "copy.pil";
             ASSERT_TRUE(QFile::copy(t.tarvo(), copy));
             std::filesystem::rename(copy.toStdString(), t.tarvo().toStdString());
         },
         {1, 2},
         {}},
        {"moved aside and a copy put in its place",
         [](KeptOpenFileTest& t) {
             const QString aside = t.folder() + "aside.pil";
             ASSERT_TRUE(QFile::rename(t.tarvo(), aside));
             ASSERT_TRUE(QFile::copy(aside, t.tarvo()));
         },
         {1, 2},
         {1}},
        {"appended to by another writer",
         [](KeptOpenFileTest& t) {
             TSaveItNew other;
             t.openAndRegister(other);
             append(other, 5);
         },
         {1, 5, 2},
         {}},
        {"its last record cut short",
         [](KeptOpenFileTest& t) {
             QFile file(t.tarvo());
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_TRUE(file.resize(file.size() - 5));
         },
         {2},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        TSaveItNew writer;
        openAndRegister(writer);
        append(writer, 1);
        ASSERT_EQ(descriptorsOn(tarvo()), 1) << "the file stays open between appends";
        c.meanwhile(*this);
        // No event loop runs in between: the file is still open.
        append(writer, 2);
        EXPECT_EQ(valuesOf(tarvo()), c.expected);
        if (!c.aside.empty()) {
            EXPECT_EQ(valuesOf(folder() + "aside.pil"), c.aside);
        }
        // The next value of the patient is stored as result processing does, and joins them.
        openAndRegister(writer);
        append(writer, 3);
        std::vector<double> expected = c.expected;
        expected.push_back(3);
        EXPECT_EQ(valuesOf(tarvo()), expected);
    }
}

TEST_F(KeptOpenFileTest, FileIsLetGoWhenIdleOrWhenAskedTo) {
    TSaveItNew writer;
    openAndRegister(writer);
    append(writer, 1);
    append(writer, 2);
    EXPECT_EQ(descriptorsOn(tarvo()), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(descriptorsOn(tarvo()), 0) << "closed once the event loop runs";

    append(writer, 3);
    EXPECT_EQ(descriptorsOn(tarvo()), 1);
    writer.ClearLoadCache(); // what a rebuild asks before it replaces the file
    EXPECT_EQ(descriptorsOn(tarvo()), 0);

    append(writer, 4);
    writer.Reset();
    EXPECT_EQ(descriptorsOn(tarvo()), 0);
    EXPECT_EQ(valuesOf(tarvo()), std::vector<double>({1, 2, 3, 4}));

    {
        TSaveItNew another;
        openAndRegister(another);
        append(another, 5);
        EXPECT_EQ(descriptorsOn(tarvo()), 1);
    }
    EXPECT_EQ(descriptorsOn(tarvo()), 0) << "a writer that ends closes its file";
    QCoreApplication::processEvents(); // the close queued by the ended writer does nothing
}

// After its own append the writer knows the file's size but not the times the append gave it:
// an older copy of the same size put back in place, with its older times, is still noticed.
TEST_F(KeptOpenFileTest, AnOlderCopyPutBackInPlaceIsReadAgain) {
    for (const bool throughTheOpenFile : {false, true}) {
        SCOPED_TRACE(throughTheOpenFile ? "next append" : "next look by name");
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        TSaveItNew writer;
        openAndRegister(writer);
        append(writer, 1);
        const QDateTime written = QFileInfo(tarvo()).lastModified();
        // The same file with another value in its last record, as an hour ago.
        QByteArray bytes = readFile(tarvo());
        const double older = 7;
        const qsizetype valueAt =
            bytes.size() -
            TSaveItNew::BuildPointRecord(0, TAnalyseResult::arNormal, 1, "V1", "OK", 1, kNoon)
                .size() +
            8 + 2 + 8;
        std::memcpy(bytes.data() + valueAt, &older, sizeof older);
        {
            QFile file(tarvo());
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_EQ(file.write(bytes), bytes.size());
            file.close();
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(
                file.setFileTime(written.addSecs(-3600), QFileDevice::FileModificationTime));
        }
        if (throughTheOpenFile) {
            append(writer, 2);
            openAndRegister(writer);
            EXPECT_EQ(valuesIn(writer.Content()), std::vector<double>({7, 2}));
        } else {
            openAndRegister(writer);
            EXPECT_EQ(valuesIn(writer.Content()), std::vector<double>({7}));
            append(writer, 2);
        }
        EXPECT_EQ(valuesOf(tarvo()), std::vector<double>({7, 2}));
    }
}
