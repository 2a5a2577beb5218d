// Rebuilding patients from their archives, through a running collector and real files.
#include <map>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include "Clock.h"
#include "MoveAsideFile.h"
#include "PatientDataDocumentReader.h"
#include "RunningCollector.h"
#include "SimulatedMessages.h"
#include "StoredPoints.h"
#include "StrayDataFiles.h"
#include "TXMLDocument.h"
#include "XMLTarvoParser.h"

using namespace SimulatedMessages;

namespace {

const QDateTime kStart(QDate(2026, 12, 1), QTime(8, 0));

class RecreationTest : public ::testing::Test {
protected:
    void SetUp() override {
        collector = std::make_unique<RunningCollector>(root);
        ASSERT_TRUE(collector->started);
        // While collecting, an admitted patient gets its record file, which storing needs.
        (*collector)->collectionControl().start();
    }

    QString folder(const QString& id) const { return collector->patientFolder(id); }

    // Writes a document into the patient's archive as the dispatcher leaves it there.
    void archive(const QString& id, const QString& name, const QString& text) {
        QDir().mkpath(folder(id) + "XML-files");
        QFile file(folder(id) + "XML-files/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    QString document(const QString& id, const QString& uniqueId, int firstValue, int year = 2012) {
        PatientDocument d;
        d.schemaYear = year;
        d.patient = {id, "Anna", "Berg"};
        d.uniqueId = uniqueId;
        d.measurements = 9;
        d.start = kStart.addDays(firstValue);
        d.firstValue = firstValue;
        QString text = patientData(d);
        return text.replace("utf-16", "utf-8");
    }

    TempRoot root;
    std::unique_ptr<RunningCollector> collector;
};

} // namespace

TEST_F(RecreationTest, EventsAndTwoAdmissionsAreRebuiltInOnePassAndNeverTwice) {
    archive("R1", "{A}.xml", document("R1", "{A}", 0));
    archive("R1", "{B}.xml", document("R1", "{B}", 3, 2008));
    archive("R1", "events.xml",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Tarvo version=\"1.0\">\r\n<Events>"
            "<Patient><PatientID>R1</PatientID></Patient><Event><Time>2026-12-01T09:00:00</Time>"
            "<EventText>Catheter in place</EventText></Event></Events>\r\n</Tarvo>\r\n");
    for (int pass = 0; pass < 2; ++pass) {
        const RecreationOutcome outcome = (*collector)->recreatePatientData("R1");
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.documents, 3);
        EXPECT_EQ(outcome.skipped, 0);
        const auto points = storedPoints(folder("R1") + "Tarvo.pil");
        EXPECT_EQ(countOf(points, "Glucose"), 6) << "pass " << pass;
        EXPECT_EQ(countOf(points, "LGRatio"), 6) << "pass " << pass;
    }
    QFile events(folder("R1") + "TarvoEvents.pil");
    ASSERT_TRUE(events.open(QIODevice::ReadOnly));
    EXPECT_TRUE(events.readAll().contains("Catheter in place"));
    EXPECT_EQ(collector->calls.count("NotifyUpdate"), 2) << "one per pass";
}

TEST_F(RecreationTest, WithoutAnArchiveTheDataFileIsStillRemovedAndNothingIsAnnounced) {
    QDir().mkpath(folder("R2"));
    QFile pil(folder("R2") + "Tarvo.pil");
    ASSERT_TRUE(pil.open(QIODevice::WriteOnly));
    pil.write("old");
    pil.close();
    const RecreationOutcome outcome = (*collector)->recreatePatientData("R2");
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.documents, 0);
    EXPECT_FALSE(QFile::exists(folder("R2") + "Tarvo.pil"));
    EXPECT_FALSE(collector->calls.contains("NotifyUpdate"));
}

TEST_F(RecreationTest, BadDocumentsAreSkippedWithALogLineAndTheOthersRead) {
    archive("R3", "1-broken.xml", "<?xml version=\"1.0\"?>\r\n<Tarvo><Admission>");
    archive("R3", "2-good.xml", document("R3", "{G}", 0));
    archive("R3", "4-good.xml", document("R3", "{H}", 5));
    // A link whose target is gone: listed, but it cannot be opened.
    ASSERT_TRUE(
        QFile::link(folder("R3") + "gone.xml", folder("R3") + "XML-files/3-unreadable.xml"));
    // The name's ending is read in any case; a folder, or a pipe (which would keep the rebuild
    // waiting for a writer), is no document, neither in the archive nor at a link's end.
    archive("R3", "5-upper.XML", document("R3", "{U}", 10));
    ASSERT_TRUE(QDir().mkpath(folder("R3") + "XML-files/6-folder.xml"));
#ifndef Q_OS_WIN
    ASSERT_EQ(QProcess::execute("mkfifo", {folder("R3") + "XML-files/7-pipe.xml"}), 0);
    ASSERT_TRUE(
        QFile::link(folder("R3") + "XML-files/7-pipe.xml", folder("R3") + "XML-files/8-pipe.xml"));
#endif

    const RecreationOutcome outcome = (*collector)->recreatePatientData("R3");
    EXPECT_EQ(outcome.documents, 5);
    EXPECT_EQ(outcome.skipped, 2);
    EXPECT_EQ(countOf(storedPoints(folder("R3") + "Tarvo.pil"), "Glucose"), 9)
        << "the three good documents are stored, whatever the order of the listing";
    EXPECT_TRUE(collector->logged("Archived document skipped: "));
    EXPECT_TRUE(collector->logged("Archived document cannot be read, skipped: "));
}

TEST_F(RecreationTest, ADataFileThatCannotBeDeletedIsMovedToLastOrStopsTheRebuild) {
    archive("R4", "{A}.xml", document("R4", "{A}", 0));
    // A folder in the data file's place cannot be deleted as a file, but it can be moved.
    QDir().mkpath(folder("R4") + "Tarvo.pil/inside");
    RecreationOutcome outcome = (*collector)->recreatePatientData("R4");
    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(QDir(folder("R4") + "Tarvo.pilLast/inside").exists());
    EXPECT_EQ(countOf(storedPoints(folder("R4") + "Tarvo.pil"), "Glucose"), 3);

    // Now neither: the "Last" name is taken by a folder that cannot be replaced.
    QFile::remove(folder("R4") + "Tarvo.pil");
    QDir().mkpath(folder("R4") + "Tarvo.pil/inside");
    outcome = (*collector)->recreatePatientData("R4");
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.documents, 0);
    EXPECT_TRUE(collector->logged("Unable to recreate data for " + folder("R4")));
}

namespace {

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(RecreationTest, TheDataFileIsReplacedOnlyByACompleteRebuildOfTheSameBytes) {
    archive("R5", "{A}.xml", document("R5", "{A}", 0));
    (*collector)->recreatePatientData("R5");
    const QString pil = folder("R5") + "Tarvo.pil";
    const QByteArray before = contentsOf(pil);
    ASSERT_FALSE(before.isEmpty());
    archive("R5", "{B}.xml", document("R5", "{B}", 3, 2008));

    // A reader of the data file looks at it whenever a value has been stored.
    int looks = 0;
    int halfBuilt = 0;
    const QMetaObject::Connection reader =
        QObject::connect(&(*collector)->resultProcessor(), &ResultProcessor::displayChanged, [&] {
            ++looks;
            halfBuilt += contentsOf(pil) == before ? 0 : 1;
        });
    const RecreationOutcome outcome = (*collector)->recreatePatientData("R5");
    QObject::disconnect(reader);
    EXPECT_TRUE(outcome.started);
    EXPECT_GT(looks, 0);
    EXPECT_EQ(halfBuilt, 0) << "the old file stays until the new one is complete";
    EXPECT_FALSE(QFile::exists(pil + ".new"));
    const QByteArray after = contentsOf(pil);
    EXPECT_EQ(countOf(storedPoints(pil), "Glucose"), 6);

    // The same documents, in the same order, stored straight into the data file of a patient of
    // another data root give the same bytes.
    TempRoot otherRoot;
    RunningCollector other(otherRoot);
    ASSERT_TRUE(other.started);
    other->collectionControl().start();
    const QDir archived(folder("R5") + "XML-files");
    for (const QString& name :
         archived.entryList({"*.xml"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted)) {
        TXMLDocument document;
        document.LoadFromFile(archived.filePath(name));
        PatientDataDocumentReader direct(other->resultProcessor(), other->state(), other->log(),
                                         SystemClock::instance());
        direct.ReadPatientDataDocument(other->mainWriter(), XMLTarvoParser::GetTarvo(document),
                                       true, DocumentContains("<AttemptNo>", document), false);
    }
    EXPECT_EQ(contentsOf(other.patientFolder("R5") + "Tarvo.pil"), after);
}

TEST_F(RecreationTest, ARebuildCutShortByACrashIsLoggedAndDoneAgainAtTheNextStart) {
    archive("R6", "{A}.xml", document("R6", "{A}", 0));
    (*collector)->recreatePatientData("R6");
    const QString pil = folder("R6") + "Tarvo.pil";
    ASSERT_EQ(countOf(storedPoints(pil), "Glucose"), 3);
    archive("R6", "{B}.xml", document("R6", "{B}", 3, 2008));
    // The collector ended while a rebuild for the new document had written half its file.
    const QByteArray whole = contentsOf(pil);
    QFile partial(pil + ".new");
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.write(whole.left(whole.size() / 2));
    partial.close();
    collector.reset();

    collector = std::make_unique<RunningCollector>(root);
    ASSERT_TRUE(collector->started);
    EXPECT_TRUE(collector->logged("The last rebuild of the data file in " + folder("R6") +
                                  " was interrupted"));
    EXPECT_TRUE(collector->logged("rebuilding R6 again"));
    EXPECT_FALSE(QFile::exists(pil + ".new"));
    EXPECT_EQ(countOf(storedPoints(pil), "Glucose"), 6);
}

TEST(MoveAsideFile, DeletesMovesToANumberOrToLast) {
    TempRoot root;
    const QString name = root.path() + "/Tarvo.pil";
    auto create = [](const QString& path) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(path.toUtf8());
    };
    EXPECT_TRUE(MoveAsideFile(name, true)) << "absent: out of the way";
    create(name);
    EXPECT_TRUE(MoveAsideFile(name, true));
    EXPECT_FALSE(QFile::exists(name));

    create(name);
    create(name + "0");
    EXPECT_TRUE(MoveAsideFile(name, false));
    EXPECT_TRUE(QFile::exists(name + "1")) << "the first free number";

    for (int n = 0; n <= 100; ++n)
        create(name + QString::number(n));
    create(name);
    create(name + "Last");
    EXPECT_TRUE(MoveAsideFile(name, false));
    EXPECT_FALSE(QFile::exists(name));
    QFile last(name + "Last");
    ASSERT_TRUE(last.open(QIODevice::ReadOnly));
    EXPECT_EQ(last.readAll(), name.toUtf8()) << "the older Last file was replaced";
}

TEST_F(RecreationTest, LinksOutOfThePatientFolderAreSkippedWithOneLineEach) {
    archive("L1", "{A}.xml", document("L1", "{A}", 0));
    archive("L2", "{B}.xml", document("L2", "{B}", 3));
    // A file outside the data root that a link in the archive points to, like /etc/passwd.
    QTemporaryDir outside;
    const QString secret = outside.filePath("passwd");
    QFile secretFile(secret);
    ASSERT_TRUE(secretFile.open(QIODevice::WriteOnly));
    secretFile.write(document("L1", "{S}", 6).toUtf8());
    secretFile.close();
    const QString archiveL1 = folder("L1") + "XML-files/";
    ASSERT_TRUE(QFile::link(secret, archiveL1 + "x.xml"));
    ASSERT_TRUE(QFile::link(folder("L2") + "XML-files/{B}.xml", archiveL1 + "other.xml"));
    // A link that stays inside the patient's folder is read.
    QDir().mkpath(folder("L1") + "spare");
    QFile spare(folder("L1") + "spare/{C}.xml");
    ASSERT_TRUE(spare.open(QIODevice::WriteOnly));
    spare.write(document("L1", "{C}", 9).toUtf8());
    spare.close();
    ASSERT_TRUE(QFile::link(folder("L1") + "spare/{C}.xml", archiveL1 + "inside.xml"));
    ASSERT_TRUE(QFile::link(outside.filePath("gone"), archiveL1 + "dangling.xml"));

    const RecreationOutcome outcome = (*collector)->recreatePatientData("L1");
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.documents, 2) << "{A}.xml and the link that stays inside";
    const auto points = storedPoints(folder("L1") + "Tarvo.pil");
    EXPECT_EQ(countOf(points, "Glucose"), 6) << "nothing of the other patient or of the secret";
    for (const char* link : {"x.xml", "other.xml", "dangling.xml"}) {
        const QString line = QStringLiteral("Symbolic link ") + archiveL1 + link +
                             QStringLiteral(" leads outside the patient folder ");
        EXPECT_TRUE(collector->logged(line)) << link;
    }
    EXPECT_TRUE(collector->logged("(to " + QFileInfo(secret).canonicalFilePath() + ")"));
    EXPECT_FALSE(collector->logged("Symbolic link " + archiveL1 + "inside.xml"));

    // An archive folder that is itself a link to another patient's archive is not read.
    QDir().mkpath(folder("L3"));
    ASSERT_TRUE(QFile::link(folder("L2") + "XML-files", folder("L3") + "XML-files"));
    const RecreationOutcome linked = (*collector)->recreatePatientData("L3");
    EXPECT_EQ(linked.documents, 0);
    EXPECT_TRUE(collector->logged("Symbolic link " + folder("L3") + "XML-files leads outside"));
    EXPECT_EQ(countOf(storedPoints(folder("L3") + "Tarvo.pil"), "Glucose"), 0);
}

namespace {

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo& entry :
         source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (entry.isDir())
            copyFolder(entry.filePath(), to + u'/' + entry.fileName());
        else
            QFile::copy(entry.filePath(), to + u'/' + entry.fileName());
    }
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

TEST_F(RecreationTest, ACopiedFolderGetsNoneOfTheOriginalsResultsAndARenamedOneKeepsThem) {
    archive("RC1", "{A}.xml", document("RC1", "{A}", 0));
    ASSERT_TRUE((*collector)->recreatePatientData("RC1").started);
    const QString original = folder("RC1") + "Tarvo.pil";
    const QByteArray before = contentsOf(original);
    ASSERT_EQ(countOf(storedPoints(original), "Glucose"), 3);

    // cp -r RC1 RC1COPY: the copy's documents belong to RC1, whose folder is there.
    copyFolder(folder("RC1"), folder("RC1COPY"));
    for (int pass = 0; pass < 2; ++pass) {
        const RecreationOutcome outcome = (*collector)->recreatePatientData("RC1COPY");
        EXPECT_EQ(outcome.documents, 1);
        EXPECT_EQ(outcome.skipped, 1);
        EXPECT_EQ(contentsOf(original), before) << "pass " << pass;
        EXPECT_EQ(countOf(storedPoints(folder("RC1COPY") + "Tarvo.pil"), "Glucose"), 0);
    }
    EXPECT_TRUE(collector->logged("Archived document " + native(folder("RC1COPY")) + "XML-files" +
                                  QDir::separator() + "{A}.xml is for patient RC1 of " +
                                  native(folder("RC1")) + ", not for the folder being rebuilt, " +
                                  native(folder("RC1COPY")) + "; skipped"));

    // mv RC1 RC2: the documents stay with the folder, and the old name does not come back.
    ASSERT_TRUE(QDir().rename(folder("RC1"), folder("RC2")));
    const RecreationOutcome renamed = (*collector)->recreatePatientData("RC2");
    EXPECT_EQ(renamed.skipped, 0);
    EXPECT_EQ(countOf(storedPoints(folder("RC2") + "Tarvo.pil"), "Glucose"), 3);
    (*collector)->recreatePatientData("RC1"); // a watcher of the old name that still fires
    EXPECT_FALSE(QFileInfo::exists(folder("RC1")));
    EXPECT_TRUE(strayDataFiles(folder("RC2")).isEmpty())
        << strayDataFiles(folder("RC2")).join(", ").toStdString();
}

TEST_F(RecreationTest, ARebuildFindingThePatientLockedLeavesItToTheHolderAndRebuildsWhenItIsFree) {
    archive("L1", "{A}.xml", document("L1", "{A}", 0));
    const QString pil = folder("L1") + "Tarvo.pil";
    const QString lock = folder("L1") + "Tarvo.pil.lock";
    const auto writeLock = [&](const QByteArray& owner) {
        QFile file(lock);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(owner);
    };
    // Another machine's collector is rebuilding the patient.
    writeLock("ward-7\n4242\n0\n");
    RecreationOutcome outcome = (*collector)->recreatePatientData("L1");
    EXPECT_EQ(outcome.heldBy, "ward-7, process 4242");
    EXPECT_FALSE(QFile::exists(pil));
    EXPECT_TRUE(strayDataFiles(folder("L1")) == QStringList{"Tarvo.pil.lock"})
        << "nothing is written beside the holder's work";
    EXPECT_TRUE(collector->logged("Data for L1 is being rebuilt by ward-7, process 4242"));
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(QFile::exists(pil)) << "not while the lock is held";

    // The holder is done: the housekeeping timer rebuilds the patient.
    ASSERT_TRUE(QFile::remove(lock));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(pil); }));
    EXPECT_EQ(countOf(storedPoints(pil), "Glucose"), 3);
    EXPECT_TRUE(strayDataFiles(folder("L1")).isEmpty());

    // A lock of a process of this machine that has ended is taken over at once.
    QProcess ended;
    ended.start("true");
    ASSERT_TRUE(ended.waitForStarted(5000));
    const qint64 endedId = ended.processId();
    ASSERT_TRUE(ended.waitForFinished(5000));
    writeLock(QSysInfo::machineHostName().toUtf8() + '\n' + QByteArray::number(endedId) + "\n0\n");
    outcome = (*collector)->recreatePatientData("L1");
    EXPECT_TRUE(outcome.heldBy.isEmpty());
    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(strayDataFiles(folder("L1")).isEmpty());
}

// A rebuild keeps what it knows of the file it builds from one document to the next. Series
// that later documents add, an events document read in between, and rebuilds of another
// patient before and after leave the bytes of the same documents stored one by one.
TEST_F(RecreationTest, SeriesAddedByLaterDocumentsGiveTheBytesOfDocumentsStoredOneByOne) {
    const struct {
        QString name;
        QStringList analytes;
        QStringList places;
        int firstValue;
    } documents[] = {{"{A}", {"Glucose"}, {"CNS"}, 0},
                     {"{B}", {"Lactate", "Glucose"}, {"CNS", "Muscle"}, 2},
                     {"{C}", {"Pyruvate", "Lactate"}, {"CNS"}, 4},
                     {"{D}", {"Urea", "Glycerol", "Glutamate"}, {"Muscle", "CNS"}, 6}};
    for (const QString id : {"R6", "R7"}) {
        for (const auto& d : documents) {
            PatientDocument document;
            document.patient = {id, "Anna", "Berg"};
            document.uniqueId = d.name;
            document.analytes = d.analytes;
            document.places = d.places;
            document.measurements = 8;
            document.start = kStart.addDays(d.firstValue);
            document.firstValue = d.firstValue;
            archive(id, d.name + ".xml", patientData(document).replace("utf-16", "utf-8"));
        }
        archive(id, "events.xml",
                "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Tarvo version=\"1.0\">\r\n"
                "<Events><Patient><PatientID>" +
                    id +
                    "</PatientID></Patient><Event><Time>2026-12-01T09:00:00</Time>"
                    "<EventText>Catheter in place</EventText></Event></Events>\r\n</Tarvo>\r\n");
    }

    // The same documents in the same order, each stored straight into the data file of a
    // patient of another data root.
    TempRoot otherRoot;
    RunningCollector other(otherRoot);
    ASSERT_TRUE(other.started);
    other->collectionControl().start();
    std::map<QString, QByteArray> expected;
    for (const QString id : {"R6", "R7"}) {
        const QDir archived(folder(id) + "XML-files");
        for (const QString& name : archived.entryList(
                 {"*.xml"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted)) {
            TXMLDocument document;
            document.LoadFromFile(archived.filePath(name));
            if (DocumentContains("<Events>", document))
                continue;
            PatientDataDocumentReader direct(other->resultProcessor(), other->state(), other->log(),
                                             SystemClock::instance());
            direct.ReadPatientDataDocument(other->mainWriter(), XMLTarvoParser::GetTarvo(document),
                                           true, DocumentContains("<AttemptNo>", document), false);
        }
        expected[id] = contentsOf(other.patientFolder(id) + "Tarvo.pil");
        const auto points = storedPoints(other.patientFolder(id) + "Tarvo.pil");
        ASSERT_GT(countOf(points, "Glutamate"), 0) << "each document has a series of its own";
        ASSERT_GT(countOf(points, "LPRatio"), 0);
    }

    for (const QString id : {"R6", "R7", "R6", "R6", "R7"}) {
        SCOPED_TRACE(id.toStdString());
        // What an earlier rebuild left cannot pass for the result of this one.
        const QString pil = folder(id) + "Tarvo.pil";
        QFile::remove(pil);
        const RecreationOutcome outcome = (*collector)->recreatePatientData(id);
        EXPECT_TRUE(outcome.started);
        EXPECT_EQ(outcome.documents, 5);
        EXPECT_EQ(outcome.skipped, 0);
        EXPECT_EQ(contentsOf(pil), expected[id]);
    }
}
