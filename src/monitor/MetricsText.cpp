#include "MetricsText.h"

#include "ServiceFacts.h"

namespace {

class Exposition {
public:
    void metric(const char* name, const char* type, const char* help) {
        m_text +=
            QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const char* name, double value, const QByteArray& labels = {}) {
        m_text += name;
        if (!labels.isEmpty())
            m_text += '{' + labels + '}';
        m_text += ' ' + QByteArray::number(value, 'g', 17) + '\n';
    }
    void single(const char* name, const char* type, const char* help, double value) {
        metric(name, type, help);
        sample(name, value);
    }
    void labelled(const char* name, const char* type, const char* help, const char* label,
                  const std::map<QString, qint64>& values) {
        metric(name, type, help);
        for (const auto& [key, value] : values)
            sample(name, double(value), QByteArray(label) + "=\"" + escaped(key) + '"');
    }
    QByteArray text() const { return m_text; }

private:
    static QByteArray escaped(const QString& value) {
        QByteArray text = value.toUtf8();
        text.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
        return text;
    }
    QByteArray m_text;
};

double seconds(const QDateTime& time) {
    return time.isValid() ? double(time.toMSecsSinceEpoch()) / 1000.0 : 0.0;
}

// Health checks, collection and start time.
void writeHealth(Exposition& out, const ServiceFacts& facts) {
    out.single("tarvo_up", "gauge", "1 while every health check holds, else 0.",
               facts.healthy() ? 1 : 0);
    out.metric("tarvo_health_check", "gauge", "Each health check: 1 holds, 0 fails.");
    const std::pair<const char*, const ServiceFacts::Check*> checks[] = {
        {"analyzer_port", &facts.analyzerPort},
        {"data_root", &facts.dataRoot},
        {"event_log", &facts.eventLog},
        {"automation", &facts.automation}};
    for (const auto& [name, check] : checks)
        out.sample("tarvo_health_check", check->ok ? 1 : 0, QByteArray("check=\"") + name + '"');
    out.metric("tarvo_collecting", "gauge", "1 while collection runs, else 0.");
    out.sample("tarvo_collecting", facts.collection == QLatin1String("Collecting") ? 1 : 0);
    out.single("tarvo_start_time_seconds", "gauge", "When the collector started (Unix time).",
               seconds(facts.started));
}

// Results, connections, patients and rebuilds.
void writeActivity(Exposition& out, const ServiceFacts& facts) {
    out.labelled("tarvo_results_received_total", "counter",
                 "Results received from analyzers, by kind.", "kind", facts.resultsReceived);
    out.labelled("tarvo_results_stored_total", "counter",
                 "Results stored in patient data files, by kind.", "kind", facts.resultsStored);
    out.labelled("tarvo_messages_refused_total", "counter",
                 "Messages and results not stored, by reason.", "reason", facts.refused);
    out.single("tarvo_last_result_stored_timestamp_seconds", "gauge",
               "When the last result was stored (Unix time; 0 before the first).",
               seconds(facts.lastResultStored));
    out.single("tarvo_connections", "gauge", "Analyzer connections open now.",
               double(facts.connections));
    out.single("tarvo_connections_total", "counter", "Analyzer connections accepted.",
               double(facts.connectionsTotal));
    out.single("tarvo_unfinished_text_characters", "gauge",
               "Characters of unfinished messages held for all connections.",
               double(facts.unfinishedCharacters));
    out.single("tarvo_patients", "gauge", "Patients in the patient list.", double(facts.patients));
    out.single("tarvo_patients_collected", "gauge", "Ticked patients (their results are stored).",
               double(facts.patientsCollected));
    out.single("tarvo_rebuilds_total", "counter", "Patient data files rebuilt from their archive.",
               double(facts.rebuildsDone));
    out.single("tarvo_rebuilds_waiting", "gauge", "Rebuilds asked for and not yet run.",
               double(facts.rebuildsWaiting));
}

// The relay queue, the data root and the event loop.
void writeRelayAndHost(Exposition& out, const ServiceFacts& facts) {
    out.single("tarvo_relay_queue_length", "gauge",
               "Messages in the relay queue, not yet acknowledged by the laboratory host.",
               double(facts.relayQueueMessages));
    out.single("tarvo_relay_queue_entries", "gauge",
               "Entries (ENQ, frames, EOT) in the relay queue.", double(facts.relayQueueEntries));
    out.single("tarvo_relay_oldest_queued_age_seconds", "gauge",
               "Age of the oldest message in the relay queue (0 when empty).",
               facts.relayOldestQueued.isValid()
                   ? std::max(0.0, facts.relayOldestQueued.msecsTo(facts.now) / 1000.0)
                   : 0.0);
    out.single("tarvo_relay_dead_letters_total", "counter",
               "Messages the laboratory host refused and that were set aside.",
               double(facts.relayDeadLetters));
    out.single("tarvo_relay_connected", "gauge", "1 while the relay host is connected.",
               facts.relayConnected ? 1 : 0);
    out.single("tarvo_data_root_free_bytes", "gauge",
               "Free bytes on the data root's file system (-1: unknown).",
               double(facts.dataRootFreeBytes));
    out.single("tarvo_event_loop_latency_seconds", "gauge",
               "How late the event loop ran its last probe timer.", facts.eventLoopLatencySeconds);
}

} // namespace

QByteArray MetricsText::render(const ServiceFacts& facts) {
    Exposition out;
    writeHealth(out, facts);
    writeActivity(out, facts);
    writeRelayAndHost(out, facts);
    return out.text();
}
