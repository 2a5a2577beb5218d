#include "MonitorServer.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QTcpServer>

#include "HealthReport.h"
#include "MetricsText.h"

namespace {

QHttpServerResponse json(const QJsonObject& object, QHttpServerResponse::StatusCode code) {
    return QHttpServerResponse(QByteArrayLiteral("application/json"),
                               QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', code);
}

} // namespace

MonitorServer::MonitorServer(Sources sources, QObject* parent)
    : QObject(parent), m_sources(std::move(sources)), m_http(new QHttpServer(this)) {
    using Code = QHttpServerResponse::StatusCode;
    const auto refused = [this](const QHttpServerRequest& request) {
        return m_sources.admit && !m_sources.admit(request.remoteAddress());
    };
    m_http->route(QStringLiteral("/health"), QHttpServerRequest::Method::Get,
                  [this, refused](const QHttpServerRequest& request) {
                      if (refused(request))
                          return QHttpServerResponse(Code::Forbidden);
                      const ServiceFacts facts = m_sources.facts();
                      return json(HealthReport::render(facts),
                                  facts.healthy() ? Code::Ok : Code::ServiceUnavailable);
                  });
    m_http->route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get,
                  [this, refused](const QHttpServerRequest& request) {
                      if (refused(request))
                          return QHttpServerResponse(Code::Forbidden);
                      return QHttpServerResponse(QByteArray(MetricsText::kContentType),
                                                 MetricsText::render(m_sources.facts()));
                  });
    m_http->route(QStringLiteral("/status"), QHttpServerRequest::Method::Get,
                  [this, refused](const QHttpServerRequest& request) {
                      if (refused(request))
                          return QHttpServerResponse(Code::Forbidden);
                      return json(m_sources.status(), Code::Ok);
                  });
}

MonitorServer::~MonitorServer() = default;

QString MonitorServer::listen(const QHostAddress& address, quint16 port) {
    close();
    m_tcp = new QTcpServer(this);
    if (!m_tcp->listen(address, port)) {
        const QString reason = m_tcp->errorString();
        delete m_tcp;
        m_tcp = nullptr;
        return reason;
    }
    m_http->bind(m_tcp);
    return {};
}

void MonitorServer::close() {
    if (m_tcp) {
        m_tcp->close();
        m_tcp->deleteLater();
        m_tcp = nullptr;
    }
}

bool MonitorServer::listening() const {
    return m_tcp && m_tcp->isListening();
}

quint16 MonitorServer::port() const {
    return m_tcp ? m_tcp->serverPort() : 0;
}
