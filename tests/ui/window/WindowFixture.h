#pragma once

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "ConnectionAnimation.h"
#include "PatientListView.h"
#include "RunningCollector.h"
#include "ScriptedQuestions.h"
#include "SimulatedMessages.h"
#include "TTaskbarIconControler.h"
#include "TfrmCollectData.h"
#include "TfrmNewPatient.h"
#include "TopPanel.h"
#include "TrayIconShell.h"
#include "ValueGridView.h"

// A notification area in memory: what the window put there, and clicks on the icon.
class MemoryTrayShell : public TrayIconShell {
public:
    bool add(const QIcon&, const QString& tip) override {
        shown = true;
        this->tip = tip;
        return true;
    }
    void modify(const QIcon&, const QString& tip) override { this->tip = tip; }
    bool remove() override {
        shown = false;
        return true;
    }
    void showMessage(const QString&, const QString& text) override { messages << text; }
    void click() { emit activated(QSystemTrayIcon::Trigger); }

    bool shown = false;
    QStringList messages;
    QString tip;
};

// A collector started on a temporary root with its main window shown (offscreen), a tray in
// memory and questions answered by the test.
class WindowFixture : public ::testing::Test {
protected:
    void open(const QString& settings = {}) {
        collector = std::make_unique<RunningCollector>(root, settings);
        ASSERT_TRUE(collector->started);
        auto shell = std::make_unique<MemoryTrayShell>();
        tray = shell.get();
        auto icon = std::make_unique<TTaskbarIconControler>(
            [this](const QString& line) { (*collector)->log().writeLog(line); },
            [this] { return trayAvailable; }, std::move(shell));
        window =
            std::make_unique<TfrmCollectData>(*collector->collector, questions, std::move(icon));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override {
        window.reset();
        collector.reset();
    }

    TopPanel& panel() { return *window->panel(); }
    // A control of the top panel by its name, as the operator sees it.
    template <typename Control> Control* control(const char* name) {
        auto* found = panel().findChild<Control*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLabel* label(const char* name) { return control<QLabel>(name); }
    QPushButton* button(const char* name) { return control<QPushButton>(name); }
    CollectionControl& control() { return (*collector)->collectionControl(); }
    ConnectionAnimation& animation() { return *control<ConnectionAnimation>("Animate"); }

    // One turn of the main timer now, instead of waiting for it.
    void tick() { control().timerTick(); }

    QTcpSocket& connectAnalyzer() {
        QTcpSocket& socket = collector->connectFrom();
        tick();
        return socket;
    }
    void disconnectAnalyzers() {
        collector->clients.clear();
        waitUntil([&] { return (*collector)->analyzerServer().ConnectionCount() == 0; });
        tick();
    }

    void sendValue(QTcpSocket& socket, const QString& id, const QString& analyte, double value,
                   const QString& place = QStringLiteral("CNS"),
                   const QDateTime& time = QDateTime::currentDateTime()) {
        SimulatedMessages::LiveMeasurement m;
        m.patient = {id, QStringLiteral("Åsa"), QStringLiteral("Öberg")};
        m.analyte = analyte;
        m.value = value;
        m.place = place;
        m.time = time;
        ASSERT_TRUE(collector->send(socket, SimulatedMessages::utf16(SimulatedMessages::live(m))));
        ASSERT_TRUE(waitUntil([&] { return label("LabelParameter")->text().startsWith(analyte); }));
    }

    TempRoot root;
    std::unique_ptr<RunningCollector> collector;
    ScriptedQuestions questions;
    MemoryTrayShell* tray = nullptr;
    bool trayAvailable = true;
    std::unique_ptr<TfrmCollectData> window;
};
