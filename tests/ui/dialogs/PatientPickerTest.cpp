#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "ExternalMediaDriveQuestion.h"
#include "PatientList.h"
#include "PatientPicker.h"
#include "RunningCollector.h"
#include "ScriptedQuestions.h"

namespace {

void write(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><Tarvo/>");
}

// Acts on the picker once it is shown modally, as the operator would.
void whenShown(PatientPicker& picker, std::function<void()> action) {
    QTimer::singleShot(0, &picker, [&picker, action] {
        if (picker.isVisible())
            action();
        // A failed expectation must not leave the dialog waiting for a person.
        if (picker.isVisible())
            picker.reject();
    });
}

void selectRow(PatientPicker& picker, const QString& patient) {
    const QList<QListWidgetItem*> items =
        picker.patientList()->findItems(patient, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    picker.patientList()->setCurrentItem(items.first());
}

class PatientPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        collector = std::make_unique<RunningCollector>(root);
        ASSERT_TRUE(collector->started);
        data = (*collector)->state().dataRoot;
    }

    TempRoot root;
    std::unique_ptr<RunningCollector> collector;
    QString data;
    PatientPicker picker;
};

} // namespace

TEST_F(PatientPickerTest, TheDialogAsDesigned) {
    EXPECT_EQ(picker.windowTitle(), QStringLiteral("Patients"));
    EXPECT_EQ(picker.caption(), QStringLiteral("Patients with XML data possible to recreate"));
    EXPECT_EQ(picker.okButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(picker.cancelButton()->text(), QStringLiteral("Cancel"));
}

TEST_F(PatientPickerTest, RecreatePickerListsSortedPatientFoldersWithAnArchive) {
    QDir().mkpath(data + QStringLiteral("Z9/XML-files"));
    QDir().mkpath(data + QStringLiteral("A1/XML-files"));
    QDir().mkpath(data + QStringLiteral("B2")); // no archive
    std::optional<QString> chosen;
    whenShown(picker, [&] {
        EXPECT_EQ(picker.caption(),
                  QStringLiteral("Patients with XML Data in folder: Orvanta database"));
        EXPECT_EQ(picker.entries(), (QStringList{"A1", "Z9"}));
        selectRow(picker, QStringLiteral("Z9"));
        picker.okButton()->click();
    });
    chosen = picker.GetPatientIDFromOrvantaDatabase(*collector->collector);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QStringLiteral("Z9"));
    EXPECT_FALSE(picker.isVisible());
}

TEST_F(PatientPickerTest, CancelChoosesNobodyAndOkWaitsForASelection) {
    QDir().mkpath(data + QStringLiteral("A1/XML-files"));
    whenShown(picker, [&] {
        selectRow(picker, QStringLiteral("A1"));
        EXPECT_TRUE(picker.okButton()->isEnabled());
        picker.cancelButton()->click();
    });
    EXPECT_FALSE(picker.GetPatientIDFromOrvantaDatabase(*collector->collector).has_value());

    // An earlier choice does not stay selected when the picker is shown again, and OK cannot be
    // pressed (nor Enter choose nobody) until a patient is selected.
    whenShown(picker, [&] {
        EXPECT_EQ(picker.selected(), QString());
        EXPECT_FALSE(picker.okButton()->isEnabled());
        QTest::keyClick(&picker, Qt::Key_Return);
        EXPECT_TRUE(picker.isVisible());
        selectRow(picker, QStringLiteral("A1"));
        EXPECT_TRUE(picker.okButton()->isEnabled());
        picker.patientList()->clearSelection();
        EXPECT_FALSE(picker.okButton()->isEnabled());
        picker.reject();
    });
    EXPECT_FALSE(picker.GetPatientIDFromOrvantaDatabase(*collector->collector).has_value());
}

TEST_F(PatientPickerTest, EntriesNameTheirPatientAndAnEmptyListIsExplained) {
    // A known patient is listed with its names; a folder of no known patient by its ID alone.
    ASSERT_TRUE((*collector)->setExternalMediaDrive(QStringLiteral("e")));
    TPatient known;
    known.PatientID = QStringLiteral("19640321-2245");
    known.FirstName = QStringLiteral("Karin");
    known.LastName = QStringLiteral("Lindqvist");
    (*collector)->patients().Add(known, true, false);
    const QString folder = QDir(collector->patientFolder(known.PatientID)).dirName();
    QDir().mkpath(data + folder + QStringLiteral("/XML-files"));
    QDir().mkpath(data + QStringLiteral("X7/XML-files"));

    const struct {
        bool media;
        QStringList entries;
        const char* emptyText;
    } cases[] = {
        {false, {folder + QStringLiteral(", Karin Lindqvist"), QStringLiteral("X7")}, nullptr},
        {true, {}, PatientPicker::kNoneOnMedia},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.media);
        std::optional<QString> chosen;
        whenShown(picker, [&] {
            EXPECT_EQ(picker.entries(), c.entries);
            const auto* empty = picker.findChild<QLabel*>(QStringLiteral("lblNoPatients"));
            ASSERT_NE(empty, nullptr);
            EXPECT_EQ(empty->isVisible(), c.emptyText != nullptr);
            EXPECT_EQ(picker.patientList()->isVisible(), c.emptyText == nullptr);
            if (c.emptyText != nullptr) {
                EXPECT_EQ(empty->text(), QLatin1String(c.emptyText));
                EXPECT_FALSE(picker.okButton()->isEnabled());
                picker.reject();
                return;
            }
            picker.patientList()->setCurrentRow(0);
            picker.okButton()->click();
        });
        chosen = c.media ? picker.GetPatientIDFromDevice(*collector->collector)
                         : picker.GetPatientIDFromOrvantaDatabase(*collector->collector);
        // The choice is the folder, not the text shown for it.
        EXPECT_EQ(chosen, c.media ? std::nullopt : std::optional<QString>(folder));
    }
}

TEST_F(PatientPickerTest, MediaPickerListsThePatientFoldersOfTheConfiguredDrive) {
    ASSERT_TRUE((*collector)->setExternalMediaDrive(QStringLiteral("e")));
    const QString media = (*collector)->externalMediaRoot();
    write(media + QStringLiteral("M2/XML-files/b.xml"));
    write(media + QStringLiteral("M1/a.xml"));
    QDir().mkpath(media + QStringLiteral("M3"));
    whenShown(picker, [&] {
        EXPECT_EQ(picker.caption(), QStringLiteral("Patients with XML Data in folder: ") +
                                        QDir::toNativeSeparators(media));
        EXPECT_EQ(picker.entries(), (QStringList{"M1", "M2"}));
        // A double click on an entry chooses it.
        selectRow(picker, QStringLiteral("M2"));
        emit picker.patientList()->itemDoubleClicked(picker.patientList()->currentItem());
    });
    EXPECT_EQ(picker.GetPatientIDFromDevice(*collector->collector), std::optional<QString>("M2"));
}

TEST_F(PatientPickerTest, TheDriveQuestionOffersTheCurrentDriveAndStoresAnAcceptedAnswer) {
    ASSERT_TRUE((*collector)->setExternalMediaDrive(QStringLiteral("f")));
    ScriptedQuestions questions;
    questions.textAnswers.push_back({true, QStringLiteral("e")});
    EXPECT_TRUE(ExternalMediaDriveQuestion::AskAndStore(questions, nullptr, *collector->collector));
    EXPECT_EQ(questions.asked, QStringList{"Please enter source drive: Drive letter"});
    EXPECT_EQ((*collector)->state().externalMediaDrive, QStringLiteral("E"));
    EXPECT_EQ((*collector)->state().externalMediaMenuCaption,
              QStringLiteral("Set External Media Drive (E:\\)"));

    // Cancel, an empty answer and a refused letter change nothing.
    questions.textAnswers.push_back({false, QStringLiteral("g")});
    questions.textAnswers.push_back({true, QString()});
    questions.textAnswers.push_back({true, QStringLiteral("c")});
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(
            ExternalMediaDriveQuestion::AskAndStore(questions, nullptr, *collector->collector));
    EXPECT_EQ((*collector)->state().externalMediaDrive, QStringLiteral("E"));
}

TEST(ExternalMediaDriveQuestionTest, TheOfferedTextIsTheCurrentDriveInCapitals) {
    // Records the text the box would show before the operator types.
    struct Offer : ScriptedQuestions {
        QString offered;
        bool askText(QWidget* parent, const QString& title, const QString& label,
                     QString& text) override {
            offered = text;
            return ScriptedQuestions::askText(parent, title, label, text);
        }
    } questions;
    questions.textAnswers.push_back({true, QStringLiteral("k")});
    EXPECT_EQ(ExternalMediaDriveQuestion::Ask(questions, nullptr, QStringLiteral("h")),
              std::optional<QString>("k"));
    EXPECT_EQ(questions.offered, QStringLiteral("H"));
}
