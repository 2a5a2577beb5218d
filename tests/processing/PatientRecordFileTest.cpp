#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FailingFileLayer.h"
#include "PatientRecordFile.h"
#include "TempRoot.h"

namespace {

QByteArray zeroPadded(const QByteArray& text, int width) {
    return text + QByteArray(width - text.size(), '\0');
}

// The template as listed byte for byte, from byte 56 on.
const QByteArray kTail =
    QByteArray::fromHex("2D 00 20 68 F6 20 62 75 6B 00 6F 72 61 6C 69 00 30 31 3A 30 30 00 01 00"
                        "01 00 01 00 01 00 2D 00 04 00 00 1C 00 31 30 37 32 30 31 30 32 2D 30 31"
                        "3A 30 30 00 01 00 01 00 01 00 01 00 2D 00 72 61 6C 69 00 30 31 3A 30 30"
                        "00 01 00 00 30 34 3A 30 30 00 01 00 01 00 01 00 01 00 BA 34 02 00 00 00"
                        "00 00 ED 03 00 00 0A 00 05 00 00 03 00 03 00 01 00 04 00 04 00 01 00 00"
                        "00 32 00 05 00 00 00 00 32 00 05 00 00 00 00 32 00 05 00 00 00 00 32 00"
                        "05 00 00 04 00 04 00 01 00 00 00 32 00 05 00 00 00 00 32 00 05 00 00 00"
                        "00 32 00 05 00 00 00 00 32 00 05 00 00 04 00 04 00 01 00 00 00 32 00 05"
                        "00 00 00 00 32 00 05 00 00 00 00 32 00 05 00 00 00 00 32 00 05 00 00");

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(PatientRecordFile, ContentsByteForByte) {
    const QByteArray contents = PatientRecordFile::Contents(
        QStringLiteral(" 19121212-1212 "), QStringLiteral("Åsa"), QStringLiteral("Öberg"));
    ASSERT_EQ(contents.size(), 271);
    const QByteArray expected = QByteArray("\xF1\x03", 2) +
                                zeroPadded("\xD6"
                                           "berg",
                                           21) +
                                zeroPadded("\xC5sa", 21) + zeroPadded("19121212-12", 12) + kTail;
    EXPECT_EQ(contents, expected) << "the ID is trimmed and cut to 11 characters";

    const QByteArray longNames = PatientRecordFile::Contents(
        "ID", "FirstNameOfTwentyFiveChars", QStringLiteral("LastNameOfTwentyFiveChars"));
    EXPECT_EQ(longNames.mid(2, 21), zeroPadded("LastNameOfTwentyFive", 21));
    EXPECT_EQ(longNames.mid(23, 21), zeroPadded("FirstNameOfTwentyFiv", 21));
}

TEST(PatientRecordFile, CreateAndCreateIfMissing) {
    TempRoot root;
    const QString folder = root.driveC("TCA/DATA/deep/P1/");
    EXPECT_FALSE(PatientRecordFile::Exists(folder));
    EXPECT_EQ(PatientRecordFile::Create("P1", "Åsa", folder, "Öberg"),
              QStringLiteral("Created: P1 (Åsa Öberg) - ") + folder);
    EXPECT_TRUE(PatientRecordFile::Exists(folder));
    PatientRecordFile::CreateIfMissing("P1", "Other", folder, "Name");
    EXPECT_EQ(readAll(folder + "Patient"), PatientRecordFile::Contents("P1", "Åsa", "Öberg"))
        << "an existing file is left alone";
}

TEST(PatientRecordFile, UpdateNamesKeepsABackupAndHonoursRegisteredFolders) {
    TempRoot root;
    const QString folder = root.driveC("TCA/DATA/P2/");
    PatientRecordFile::Create("P2", "Old", folder, "Name");
    const QByteArray before = readAll(folder + "Patient");
    const QString ini = root.writeFile("C/TCA/TCADATA.INI", "[Other]\n1=x\n");

    ASSERT_TRUE(PatientRecordFile::UpdateNames("P2", "New", folder, "Person", ini));
    const QByteArray after = readAll(folder + "Patient");
    EXPECT_EQ(after, PatientRecordFile::Contents("P2", "New", "Person"));
    EXPECT_EQ(readAll(folder + "Backup.Bak"), before);

    root.writeFile("C/TCA/TCADATA.INI", ("[Registered]\n2=" + folder + "\n").toUtf8());
    EXPECT_FALSE(PatientRecordFile::UpdateNames("P2", "Third", folder, "Try", ini));
    EXPECT_EQ(readAll(folder + "Patient"), after) << "a registered folder is not changed";

    QString failure;
    const QString missing = root.driveC("TCA/DATA/NONE/");
    QDir().mkpath(missing);
    EXPECT_FALSE(PatientRecordFile::UpdateNames("X", "A", missing, "B", ini, &failure));
    EXPECT_EQ(failure, "Unable to rename " + missing + "Patient. => " + missing + "Backup");
}

TEST(PatientRecordFile, AFullDiskLeavesTheRecordAsItWasOrNoRecordAtAll) {
    TempRoot root;
    const QString ini = root.writeFile("C/TCA/TCADATA.INI", "[Other]\n1=x\n");
    const QString folder = root.driveC("TCA/DATA/P3/");
    PatientRecordFile::Create("P3", "Old", folder, "Name");
    const QByteArray before = readAll(folder + "Patient");
    const QString fresh = root.driveC("TCA/DATA/P4/");
    for (const FailingFileLayer::Step step :
         {FailingFileLayer::Step::LostWrite, FailingFileLayer::Step::Flush,
          FailingFileLayer::Step::Commit}) {
        {
            FailingFileLayer full(step, QStringLiteral("Patient"));
            QString failure;
            EXPECT_FALSE(
                PatientRecordFile::UpdateNames("P3", "New", folder, "Person", ini, &failure));
            EXPECT_TRUE(failure.contains(folder + "Patient")) << failure.toStdString();
            EXPECT_THROW(PatientRecordFile::Create("P4", "A", fresh, "B"), std::runtime_error);
        }
        EXPECT_EQ(readAll(folder + "Patient"), before) << int(step);
        EXPECT_FALSE(PatientRecordFile::Exists(fresh)) << "an empty record would count as one";
    }
}
