// Replacing a file's contents when writes fail: the old file stays, nothing is left behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "FailingFileLayer.h"
#include "FileBytes.h"
#include "FileReplacement.h"
#include "FolderCreation.h"
#include "SmallTmpfs.h"
#include "TempRoot.h"

namespace {

using Step = FailingFileLayer::Step;

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray contents(qsizetype size, char fill) {
    QByteArray bytes(size, fill);
    for (qsizetype i = 0; i < size; i += 97)
        bytes[i] = char(i);
    return bytes;
}

const Step kFailingSteps[] = {Step::Open,      Step::Write, Step::ShortWrite,
                              Step::LostWrite, Step::Flush, Step::Commit};

} // namespace

TEST(FileReplacement, ReplacesTheContentsWhenEveryStepSucceeds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tarvo.pil"));
    writeFile(path, "old");
    const QByteArray fresh = contents(100000, 'n');
    EXPECT_TRUE(FileReplacement::replace(path, fresh).isEmpty());
    EXPECT_EQ(readFile(path), fresh);
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("Tarvo.pil")});
}

TEST(FileReplacement, AFailingStepKeepsTheOldFileAndLeavesNothingBehind) {
    for (const Step step : kFailingSteps) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Tarvo.pil"));
        const QByteArray old = contents(5000, 'o');
        writeFile(path, old);
        FailingFileLayer layer(step);
        const QString failure = FileReplacement::replace(path, contents(60000, 'n'));
        EXPECT_EQ(layer.calls, 1);
        EXPECT_TRUE(failure.startsWith(QStringLiteral("Could not write ") + path))
            << int(step) << ": " << failure.toStdString();
        EXPECT_FALSE(failure.contains(u'\n'));
        EXPECT_EQ(readFile(path), old) << int(step);
        EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("Tarvo.pil")}) << int(step);
    }
}

TEST(FileReplacement, AFileThatCannotBeCreatedLeavesNoFile) {
    for (const Step step : kFailingSteps) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.xml"));
        FailingFileLayer layer(step);
        EXPECT_FALSE(FileReplacement::replace(path, contents(6169, 'x')).isEmpty()) << int(step);
        EXPECT_TRUE(entries(dir.path()).isEmpty()) << int(step);
    }
}

TEST(FileReplacement, AFullFileSystemKeepsTheOldFile) {
    SmallTmpfs disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    const QString path = disk.path() + QStringLiteral("/settings.ini");
    const QByteArray old = contents(300000, 'o');
    ASSERT_TRUE(FileReplacement::replace(path, old).isEmpty());
    disk.fill();

    const QString failure = FileReplacement::replace(path, contents(400000, 'n'));
    EXPECT_TRUE(failure.contains(path)) << failure.toStdString();
    EXPECT_EQ(readFile(path), old);
    const QString created = disk.path() + QStringLiteral("/created.xml");
    EXPECT_FALSE(FileReplacement::replace(created, contents(6169, 'x')).isEmpty());
    EXPECT_FALSE(QFile::exists(created));
    EXPECT_EQ(entries(disk.path()),
              (QStringList{QStringLiteral("filler"), QStringLiteral("settings.ini")}));

    disk.release();
    const QByteArray fresh = contents(400000, 'n');
    EXPECT_TRUE(FileReplacement::replace(path, fresh).isEmpty());
    EXPECT_EQ(readFile(path), fresh);
}

TEST(FolderCreation, SaysWhichPartOfThePathStandsInTheWay) {
    TempRoot root;
    const QString file = root.writeFile(QStringLiteral("file"), "x");
    struct Case {
        QString folder;
        QString why; // empty: can be created
    };
    const std::vector<Case> cases = {
        {root.path() + QStringLiteral("/new/deeper/"), {}},
        {root.path(), {}},
        {file + QStringLiteral("/below/"), file + QStringLiteral(" is a file, not a folder")},
        {file, file + QStringLiteral(" is a file, not a folder")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderCreation::whyNotUsable(c.folder), c.why) << c.folder.toStdString();
        EXPECT_FALSE(QFileInfo::exists(root.path() + QStringLiteral("/new")))
            << "looking creates nothing";
    }
    for (const Case& c : cases) {
        EXPECT_EQ(FolderCreation::create(c.folder), c.why) << c.folder.toStdString();
        EXPECT_EQ(QFileInfo(c.folder).isDir(), c.why.isEmpty()) << c.folder.toStdString();
    }
}
