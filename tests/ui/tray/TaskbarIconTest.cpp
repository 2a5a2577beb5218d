#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSignalSpy>

#include "ProgramIcon.h"
#include "TFileVersionScanner.h"
#include "TTaskbarIconControler.h"

namespace {

// A notification area that records what reaches it and refuses when told to.
class RecordingShell : public TrayIconShell {
public:
    struct State {
        bool refuseAdd = false;
        bool refuseRemove = false;
        int adds = 0;
        int removes = 0;
        int modifies = 0;
        bool present = false;
        QString tip;
    };
    explicit RecordingShell(State& state) : m_state(state) {}

    bool add(const QIcon&, const QString& tip) override {
        ++m_state.adds;
        if (m_state.refuseAdd)
            return false;
        m_state.present = true;
        m_state.tip = tip;
        return true;
    }
    void modify(const QIcon&, const QString& tip) override {
        ++m_state.modifies;
        m_state.tip = tip;
    }
    bool remove() override {
        ++m_state.removes;
        if (m_state.refuseRemove)
            return false;
        m_state.present = false;
        return true;
    }
    void activate(QSystemTrayIcon::ActivationReason reason) { emit activated(reason); }

private:
    State& m_state;
};

struct TrayFixture : ::testing::Test {
    RecordingShell::State desktop;
    QStringList logged;
    RecordingShell* shell = nullptr;
    std::unique_ptr<TTaskbarIconControler> tray;

    void SetUp() override {
        auto owned = std::make_unique<RecordingShell>(desktop);
        shell = owned.get();
        tray = std::make_unique<TTaskbarIconControler>(
            [this](const QString& line) { logged << line; }, [] { return true; },
            std::move(owned));
        tray->setIcon(ProgramIcon::ForState(CollectionState::Ready));
    }
};

const QString kLongHint = QStringLiteral("Collecting Tarvo Monitor Data from three analyzers on "
                                         "ward 12 since the early morning");

} // namespace

TEST_F(TrayFixture, HintIsCutTo63CharactersWhenShownAndWhenChanged) {
    ASSERT_GT(kLongHint.size(), 63);
    tray->setHint(kLongHint);
    tray->Show();
    EXPECT_EQ(desktop.tip, kLongHint.left(63));
    EXPECT_EQ(tray->Hint(), kLongHint); // the component keeps the whole text

    const QString other = QStringLiteral("x").repeated(80);
    tray->setHint(other);
    EXPECT_EQ(desktop.tip.size(), 63);
    EXPECT_EQ(desktop.modifies, 1);

    // A short hint goes through unchanged; the same hint again changes nothing.
    tray->setHint(QStringLiteral("Ready"));
    tray->setHint(QStringLiteral("Ready"));
    EXPECT_EQ(desktop.tip, QStringLiteral("Ready"));
    EXPECT_EQ(desktop.modifies, 2);
}

TEST_F(TrayFixture, ShowingAShownIconAndHidingAHiddenOneDoNothing) {
    tray->Hide();
    EXPECT_EQ(desktop.removes, 0);
    tray->Show();
    tray->Show();
    EXPECT_EQ(desktop.adds, 1);
    EXPECT_TRUE(tray->shown());
    tray->Hide();
    tray->Hide();
    EXPECT_EQ(desktop.removes, 1);
    EXPECT_FALSE(tray->shown());
    EXPECT_FALSE(desktop.present);
    EXPECT_TRUE(logged.isEmpty());
}

TEST_F(TrayFixture, ARefusedAddOrDeleteIsLoggedAndKeepsTheIconsState) {
    desktop.refuseAdd = true;
    EXPECT_NO_THROW(tray->Show());
    EXPECT_FALSE(tray->shown());
    EXPECT_EQ(logged, QStringList{QStringLiteral("Exception: Could not Add Icon")});

    // Since it is still not shown, the next Show tries again.
    desktop.refuseAdd = false;
    tray->Show();
    EXPECT_TRUE(tray->shown());
    EXPECT_EQ(desktop.adds, 2);

    desktop.refuseRemove = true;
    EXPECT_NO_THROW(tray->Hide());
    EXPECT_TRUE(tray->shown());
    EXPECT_EQ(logged.last(), QStringLiteral("Exception: Could not Delete Icon"));
    EXPECT_EQ(logged.size(), 2);

    desktop.refuseRemove = false;
    tray->Hide();
    EXPECT_FALSE(tray->shown());
}

TEST_F(TrayFixture, DestroyingTheComponentRemovesAShownIcon) {
    tray->Show();
    tray.reset();
    EXPECT_FALSE(desktop.present);
    EXPECT_EQ(desktop.removes, 1);
}

TEST_F(TrayFixture, MouseEventsOfTheIconBecomeClicksAndButtonEvents) {
    QSignalSpy clicks(tray.get(), &TTaskbarIconControler::clicked);
    QSignalSpy doubles(tray.get(), &TTaskbarIconControler::doubleClicked);
    QSignalSpy downs(tray.get(), &TTaskbarIconControler::mouseDown);
    QSignalSpy ups(tray.get(), &TTaskbarIconControler::mouseUp);

    shell->activate(QSystemTrayIcon::Trigger);
    ASSERT_EQ(clicks.size(), 1);
    ASSERT_EQ(downs.size(), 1);
    ASSERT_EQ(ups.size(), 1);
    EXPECT_EQ(downs.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_EQ(ups.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);

    shell->activate(QSystemTrayIcon::Context);
    EXPECT_EQ(ups.last().at(0).value<Qt::MouseButton>(), Qt::RightButton);
    shell->activate(QSystemTrayIcon::MiddleClick);
    EXPECT_EQ(ups.last().at(0).value<Qt::MouseButton>(), Qt::MiddleButton);
    EXPECT_EQ(clicks.size(), 3); // every released button is a click

    shell->activate(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(doubles.size(), 1);
    EXPECT_EQ(clicks.size(), 3);

    shell->activate(QSystemTrayIcon::Unknown);
    EXPECT_EQ(clicks.size() + doubles.size() + downs.size(), 7);
}

TEST(TaskbarIcon, AvailabilityComesFromTheInjectedCheck) {
    bool available = false;
    QStringList logged;
    TTaskbarIconControler tray([&](const QString& line) { logged << line; },
                               [&] { return available; });
    EXPECT_FALSE(tray.available());
    available = true;
    EXPECT_TRUE(tray.available());
}

TEST(TaskbarIcon, TheRealNotificationAreaRefusesWhenTheDesktopHasNone) {
    // The offscreen desktop of the tests has no notification area: showing is refused, logged,
    // and never thrown.
    QStringList logged;
    TTaskbarIconControler tray([&](const QString& line) { logged << line; });
    ASSERT_FALSE(tray.available());
    tray.setIcon(ProgramIcon::ForState(CollectionState::Collecting));
    tray.setHint(kLongHint);
    EXPECT_NO_THROW(tray.Show());
    EXPECT_FALSE(tray.shown());
    EXPECT_EQ(logged, QStringList{QStringLiteral("Exception: Could not Add Icon")});
}

TEST(FileVersion, GetVersionIsTheApplicationVersionOrUnknown) {
    const QString saved = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QString());
    EXPECT_EQ(TFileVersionScanner().GetVersion(), QStringLiteral("Unknown version"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.4.1"));
    EXPECT_EQ(TFileVersionScanner().GetVersion(), QStringLiteral("2.4.1"));
    QCoreApplication::setApplicationVersion(saved);
}

TEST(ProgramIconTest, EachStateHasItsOwnPicture) {
    const QImage offline =
        ProgramIcon::ForState(CollectionState::Offline).pixmap(32, 32).toImage();
    const QImage ready = ProgramIcon::ForState(CollectionState::Ready).pixmap(32, 32).toImage();
    const QImage collecting =
        ProgramIcon::ForState(CollectionState::Collecting).pixmap(32, 32).toImage();
    ASSERT_FALSE(offline.isNull());
    EXPECT_NE(offline, ready);
    EXPECT_NE(ready, collecting);
    EXPECT_EQ(offline,
              ProgramIcon::ForState(CollectionState::CollectingOffline).pixmap(32, 32).toImage());
}
