#pragma once

#include <functional>

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include "ServiceFacts.h"

class QHttpServer;
class QTcpServer;

// The monitoring endpoint over HTTP: GET /health (200 or 503 with the failing checks, JSON),
// GET /metrics (Prometheus text) and GET /status (what the status command shows, JSON). Requests
// from peers that `admit` refuses get 403.
class MonitorServer : public QObject {
    Q_OBJECT

public:
    struct Sources {
        std::function<ServiceFacts()> facts;
        std::function<QJsonObject()> status;
        std::function<bool(const QHostAddress&)> admit; // empty: everyone
    };

    explicit MonitorServer(Sources sources, QObject* parent = nullptr);
    ~MonitorServer() override;

    void setAdmission(std::function<bool(const QHostAddress&)> admit) {
        m_sources.admit = std::move(admit);
    }
    // Listens; an empty text on success, else the reason.
    QString listen(const QHostAddress& address, quint16 port);
    void close();
    bool listening() const;
    quint16 port() const;

private:
    Sources m_sources;
    QHttpServer* m_http = nullptr;
    QTcpServer* m_tcp = nullptr;
};
