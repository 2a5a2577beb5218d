// Which folding of a stored file becomes which object: objects are read only where the file kind
// and the enclosing object allow them, and everything else is skipped without disturbing the rest.
#include <functional>

#include <gtest/gtest.h>

#include <QStringList>

#include "StoredFileParser.h"
#include "StoredFileTags.h"
#include "TMicroWriter.h"
#include "ZelTypes.h"

namespace {

using Content = std::function<void(TMicroWriter&)>;

void fileKind(TMicroWriter& writer, TZelFileType kind) {
    writer.BeginFolding(StoredTag::FileInformation);
    writer.WriteIntRecord(StoredTag::FileKind, qint32(kind));
    writer.EndFolding();
}

void monitorInfo(TMicroWriter& writer, const QString& name) {
    writer.BeginFolding(StoredTag::MonitorInfo);
    writer.WriteStringRecord(StoredTag::MonitorName, name);
    writer.EndFolding();
}

void serie(TMicroWriter& writer, qint32 index, const QString& unit) {
    writer.BeginFolding(StoredTag::Serie);
    writer.WriteIntRecord(StoredTag::SerieIndex, index);
    writer.WriteStringRecord(StoredTag::SerieUnit, unit);
    writer.EndFolding();
}

void eventPoint(TMicroWriter& writer, const QString& text, const Content& inside = {}) {
    writer.BeginFolding(StoredTag::EventPoint);
    writer.WriteDoubleRecord(StoredTag::EventPointTime, 46364.5);
    if (inside)
        inside(writer);
    writer.WriteStringRecord(StoredTag::EventPointText, text);
    writer.EndFolding();
}

void eventSerie(TMicroWriter& writer, const QString& caption, const Content& inside) {
    writer.BeginFolding(StoredTag::EventSerie);
    writer.WriteStringRecord(StoredTag::EventSerieCaption, caption);
    inside(writer);
    writer.EndFolding();
}

QByteArray streamOf(bool checksums, const Content& content) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.SetChecksumMode(checksums);
    writer.WriteHeader();
    content(writer);
    writer.CloseStream();
    return data;
}

// What was read, in a form a table can state: monitor names, "index:unit" per series, and per
// event series its caption and event texts ("-" when there is none).
struct Read {
    QStringList monitors;
    QStringList series;
    QString events;
    bool operator==(const Read&) const = default;
};

Read readOf(const TStoredFileContent& content) {
    Read read;
    for (const TMonitorInfo* monitor : content.monitors())
        read.monitors << monitor->MonitorName;
    for (const TParameterSerie* s : content.series())
        read.series << QString::number(s->Index) + u':' + s->Unit;
    QStringList events;
    for (const auto& object : content.objects) {
        if (const auto* serie = dynamic_cast<const TEventSerie*>(object.get())) {
            QStringList texts{serie->Caption};
            for (const TEventPoint& point : serie->Points)
                texts << point.Text;
            events << texts.join(u'|');
        }
    }
    read.events = events.isEmpty() ? QStringLiteral("-") : events.join(u',');
    return read;
}

void PrintTo(const Read& read, std::ostream* out) {
    *out << "monitors [" << read.monitors.join(u',').toStdString() << "] series ["
         << read.series.join(u',').toStdString() << "] events " << read.events.toStdString();
}

struct Case {
    const char* name;
    Content content;
    Read expected;
};

} // namespace

TEST(StoredFileObjects, ObjectsAreReadOnlyWhereTheyBelong) {
    const std::vector<Case> cases = {
        {"events file",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftSingleEventSerie);
             eventSerie(w, QStringLiteral("Events"), [](TMicroWriter& w) {
                 eventPoint(w, QStringLiteral("a"));
                 eventPoint(w, QStringLiteral("b"));
             });
         },
         {{}, {}, QStringLiteral("Events|a|b")}},
        {"an event point inside an event point is skipped",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftSingleEventSerie);
             eventSerie(w, QStringLiteral("Events"), [](TMicroWriter& w) {
                 eventPoint(w, QStringLiteral("outer"),
                            [](TMicroWriter& w) { eventPoint(w, QStringLiteral("inner")); });
             });
         },
         {{}, {}, QStringLiteral("Events|outer")}},
        {"an event series inside an event series is skipped",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftSingleEventSerie);
             eventSerie(w, QStringLiteral("Outer"), [](TMicroWriter& w) {
                 eventSerie(w, QStringLiteral("Inner"),
                            [](TMicroWriter& w) { eventPoint(w, QStringLiteral("inner")); });
                 eventPoint(w, QStringLiteral("outer"));
             });
         },
         {{}, {}, QStringLiteral("Outer|outer")}},
        {"an event point outside an event series is skipped",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftSingleEventSerie);
             eventPoint(w, QStringLiteral("stray"));
         },
         {{}, {}, QStringLiteral("-")}},
        {"monitor data folding in an events file are skipped",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftSingleEventSerie);
             monitorInfo(w, QStringLiteral("Tarvo"));
             serie(w, 0, QStringLiteral("mM"));
         },
         {{}, {}, QStringLiteral("-")}},
        {"an event series in a monitor data file is skipped",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftMonitorData);
             monitorInfo(w, QStringLiteral("Tarvo"));
             eventSerie(w, QStringLiteral("Events"),
                        [](TMicroWriter& w) { eventPoint(w, QStringLiteral("a")); });
             serie(w, 0, QStringLiteral("mM"));
         },
         {{QStringLiteral("Tarvo")}, {QStringLiteral("0:mM")}, QStringLiteral("-")}},
        {"a series inside the monitor information is read in file order",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftMonitorData);
             w.BeginFolding(StoredTag::MonitorInfo);
             serie(w, 0, QStringLiteral("mM"));
             w.WriteStringRecord(StoredTag::MonitorName, QStringLiteral("Tarvo"));
             w.EndFolding();
             serie(w, 1, QStringLiteral("uM"));
         },
         {{QStringLiteral("Tarvo")},
          {QStringLiteral("0:mM"), QStringLiteral("1:uM")},
          QStringLiteral("-")}},
        {"a file kind inside an event series changes nothing",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftSingleEventSerie);
             eventSerie(w, QStringLiteral("Events"), [](TMicroWriter& w) {
                 w.WriteIntRecord(StoredTag::FileKind, qint32(TZelFileType::ftMonitorData));
             });
             monitorInfo(w, QStringLiteral("Tarvo"));
         },
         {{}, {}, QStringLiteral("Events")}},
        {"records of an object outside its folding are skipped",
         [](TMicroWriter& w) {
             fileKind(w, TZelFileType::ftMonitorData);
             w.WriteStringRecord(StoredTag::MonitorName, QStringLiteral("stray"));
             w.WriteIntRecord(StoredTag::SerieIndex, 5);
             serie(w, 0, QStringLiteral("mM"));
         },
         {{}, {QStringLiteral("0:mM")}, QStringLiteral("-")}},
    };
    for (const Case& c : cases) {
        for (const bool checksums : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (checksums ? " (checksums)" : " (no checksums)"));
            const TStoredFileContent content =
                StoredFileParser::parse(streamOf(checksums, c.content));
            EXPECT_EQ(readOf(content), c.expected);
            EXPECT_FALSE(content.hasProblem(TFileProblem::Kind::Unreadable));
        }
    }
}
