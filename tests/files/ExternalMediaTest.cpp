// Importing a patient's documents from external media, and the drive setting.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ExternalMediaDrive.h"
#include "FailingFileLayer.h"
#include "RunningCollector.h"

namespace {

void write(const QString& path, const QByteArray& bytes = "<?xml version=\"1.0\"?><Tarvo/>") {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

class ExternalMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        collector = std::make_unique<RunningCollector>(root);
        ASSERT_TRUE(collector->started);
        ASSERT_TRUE((*collector)->setExternalMediaDrive("e"));
        media = (*collector)->externalMediaRoot();
    }

    QStringList archived(const QString& folderName) const {
        return QDir((*collector)->state().dataRoot + folderName + "/XML-files")
            .entryList(QDir::Files, QDir::Name);
    }

    TempRoot root;
    std::unique_ptr<RunningCollector> collector;
    QString media;
};

} // namespace

TEST_F(ExternalMediaTest, TheDriveLetterRules) {
    EXPECT_EQ((*collector)->state().externalMediaDrive, "E");
    EXPECT_EQ((*collector)->state().externalMediaMenuCaption, "Set External Media Drive (E:\\)");
    EXPECT_EQ((*collector)->settings().read(Setting::ExternalMediaDrive), "E");
    EXPECT_FALSE((*collector)->setExternalMediaDrive("c")) << "C is refused silently";
    EXPECT_FALSE((*collector)->setExternalMediaDrive(""));
    EXPECT_FALSE((*collector)->setExternalMediaDrive("1"));
    EXPECT_EQ((*collector)->state().externalMediaDrive, "E");
    EXPECT_TRUE((*collector)->setExternalMediaDrive("zebra"));
    EXPECT_EQ((*collector)->state().externalMediaMenuCaption, "Set External Media Drive (Z:\\)");
    EXPECT_EQ(media, root.path() + "/E/Data/") << "portable: drive E beside drive C";
#ifndef Q_OS_WIN
    EXPECT_EQ(ExternalMediaDrive::AcceptAnswer("/media/card/"), "/media/card/");
    EXPECT_EQ(ExternalMediaDrive::SourceRoot("/media/card/", root.layout()), "/media/card/Data/");
#endif
}

TEST_F(ExternalMediaTest, TopLevelFilesWinOverTheArchiveFolderOnTheMedium) {
    write(media + "P-1/a.xml", "top a");
    write(media + "P-1/b.XML", "top b");
    write(media + "P-1/XML-files/c.xml", "archived c");
    write((*collector)->state().dataRoot + "P-1/XML-files/a.xml", "old a");
    const ImportOutcome outcome = (*collector)->importFromExternalMedia("P-1");
    EXPECT_TRUE(outcome.imported) << outcome.message.toStdString();
    EXPECT_EQ(outcome.copied, 2);
    EXPECT_EQ(archived("P-1"), (QStringList{"a.xml", "b.XML"}))
        << "the archive a rebuild of P-1 reads";
    EXPECT_FALSE(QDir((*collector)->state().dataRoot + "P1").exists());
    QFile a((*collector)->state().dataRoot + "P-1/XML-files/a.xml");
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), "top a") << "an existing file is replaced";

    write(media + "P2/XML-files/c.xml", "archived c");
    EXPECT_EQ((*collector)->importFromExternalMedia("P2").copied, 1);
    EXPECT_EQ(archived("P2"), QStringList{"c.xml"});
}

TEST_F(ExternalMediaTest, UnsafeIdsAndUncreatableFoldersAreRefused) {
    write(media + "x/a.xml");
    for (const QString& id :
         {QStringLiteral("../x"), QStringLiteral(".."), QStringLiteral("a/b")}) {
        const ImportOutcome outcome = (*collector)->importFromExternalMedia(id);
        EXPECT_FALSE(outcome.imported) << id.toStdString();
    }
    EXPECT_TRUE(QDir((*collector)->state().dataRoot)
                    .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                    .isEmpty());

    write(media + "Blocked/a.xml");
    write((*collector)->state().dataRoot + "Blocked", "a file where the folder should be");
    const ImportOutcome blocked = (*collector)->importFromExternalMedia("Blocked");
    EXPECT_FALSE(blocked.imported);
    EXPECT_EQ(blocked.message, "Patient NOT created");
    EXPECT_TRUE(collector->messages.shown.contains("Patient NOT created"));
}

TEST_F(ExternalMediaTest, APatientWithoutDocumentsOnTheMediumIsRefusedAndNothingCreated) {
    const ImportOutcome unknown = (*collector)->importFromExternalMedia("NOBODY");
    EXPECT_FALSE(unknown.imported);
    EXPECT_EQ(unknown.message, "Unknown patient NOBODY: no folder " +
                                   QDir::toNativeSeparators(media + "NOBODY/") +
                                   " on the external media");
    QDir().mkpath(media + "EMPTY/XML-files");
    const ImportOutcome empty = (*collector)->importFromExternalMedia("EMPTY");
    EXPECT_FALSE(empty.imported);
    EXPECT_TRUE(empty.message.startsWith("No XML files for EMPTY in "))
        << empty.message.toStdString();
    EXPECT_TRUE(
        QDir((*collector)->state().dataRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty())
        << "no empty patient folder is left behind";
}

TEST_F(ExternalMediaTest, CopyFailuresAreLoggedAndEndTheImport) {
    write(media + "F1/a.xml");
    write(media + "F1/b.xml");
    write(media + "F1/c.xml");
    // A folder where b.xml should go cannot be replaced by the copy.
    QDir().mkpath((*collector)->state().dataRoot + "F1/XML-files/b.xml/inside");
    const ImportOutcome outcome = (*collector)->importFromExternalMedia("F1");
    EXPECT_FALSE(outcome.imported);
    EXPECT_EQ(outcome.copied, 1);
    EXPECT_TRUE(collector->logged("Error(8): "));
    EXPECT_TRUE(QFile::exists((*collector)->state().dataRoot + "F1/XML-files/a.xml"))
        << "files copied before the failure stay";
    EXPECT_FALSE(QFile::exists((*collector)->state().dataRoot + "F1/XML-files/c.xml"));
}

TEST_F(ExternalMediaTest, AFailedCopyKeepsTheArchivedDocumentItWouldReplace) {
    const QString archivedFile = (*collector)->state().dataRoot + "F2/XML-files/a.xml";
    write(archivedFile, "<?xml version=\"1.0\"?><Tarvo>archived</Tarvo>");
    write(media + "F2/a.xml", "<?xml version=\"1.0\"?><Tarvo>on the medium</Tarvo>");
    {
        FailingFileLayer fullDisk(FailingFileLayer::Step::ShortWrite);
        const ImportOutcome outcome = (*collector)->importFromExternalMedia("F2");
        EXPECT_FALSE(outcome.imported);
        EXPECT_EQ(outcome.copied, 0);
    }
    EXPECT_TRUE(collector->logged("Error(8): "));
    QFile kept(archivedFile);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the archived document is still there";
    EXPECT_EQ(kept.readAll(), "<?xml version=\"1.0\"?><Tarvo>archived</Tarvo>");
    EXPECT_EQ(archived("F2"), QStringList{"a.xml"}) << "no temporary file left behind";

    const ImportOutcome again = (*collector)->importFromExternalMedia("F2");
    EXPECT_TRUE(again.imported);
    kept.close();
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "<?xml version=\"1.0\"?><Tarvo>on the medium</Tarvo>");
}

TEST_F(ExternalMediaTest, PickersListPatientFoldersWithDocuments) {
    write(media + "M1/a.xml");
    write(media + "M2/XML-files/b.xml");
    QDir().mkpath(media + "M3/empty");
    const PatientFolderListing onMedia = (*collector)->patientsOnExternalMedia();
    EXPECT_EQ(onMedia.caption,
              "Patients with XML Data in folder: " + QDir::toNativeSeparators(media));
    EXPECT_EQ(onMedia.patients, (QStringList{"M1", "M2"}));

    const QString data = (*collector)->state().dataRoot;
    QDir().mkpath(data + "A1/XML-files");
    QDir().mkpath(data + "A2");
    const PatientFolderListing withArchive = (*collector)->patientsWithArchive();
    EXPECT_EQ(withArchive.caption, "Patients with XML Data in folder: Orvanta database");
    EXPECT_EQ(withArchive.patients, QStringList{"A1"});
}
