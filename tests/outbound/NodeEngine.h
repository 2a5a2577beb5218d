#pragma once

#include <vector>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "WaitUntil.h"

// The integration engine of engine/engine.mjs (node-hl7-server) run as a process on a free
// loopback port; what it received is read back from its record file.
class NodeEngine {
public:
    struct Received {
        int n = 0;
        QString controlId;
        QString answer;
        QJsonObject fields;
    };

    // Empty when node can be found; otherwise why the engine cannot run.
    static QString missingNode() {
        if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
            return QStringLiteral("node is not installed (scripts/install-dependencies.sh "
                                  "installs nodejs and npm)");
        return {};
    }

    explicit NodeEngine(const QString& faults = {}) {
        const QString folder = QStringLiteral(TARVO_ENGINE_DIR);
        if (!QFile::exists(folder + QStringLiteral("/node_modules/node-hl7-server"))) {
            error = QStringLiteral("node-hl7-server is not installed: run npm ci in ") + folder;
            return;
        }
        m_process.setWorkingDirectory(folder);
        m_process.start(QStringLiteral("node"),
                        {folder + QStringLiteral("/engine.mjs"), recordPath(), faults});
        if (!waitUntil(
                [&] {
                    m_output += m_process.readAllStandardOutput();
                    return m_output.contains('\n') || m_process.state() == QProcess::NotRunning;
                },
                20000) ||
            !m_output.startsWith("listening ")) {
            error = QStringLiteral("the engine did not start: ") +
                    QString::fromUtf8(m_output + m_process.readAllStandardError());
            return;
        }
        port = m_output.mid(10, m_output.indexOf('\n') - 10).trimmed().toInt();
    }

    ~NodeEngine() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    QString recordPath() const { return m_dir.filePath(QStringLiteral("received.jsonl")); }

    std::vector<Received> received() const {
        std::vector<Received> messages;
        QFile file(recordPath());
        if (!file.open(QIODevice::ReadOnly))
            return messages;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.isEmpty())
                continue;
            messages.push_back({object.value(QStringLiteral("n")).toInt(),
                                object.value(QStringLiteral("controlId")).toString(),
                                object.value(QStringLiteral("answer")).toString(),
                                object.value(QStringLiteral("fields")).toObject()});
        }
        return messages;
    }

    int port = 0;
    QString error;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_output;
};
