// The byte forms the writer builds: a new patient data file, a series definition, and the
// appended records as TMicroWriter writes them (the form PointRecord builds in place).
#include "TSaveItNew.h"

#include "StoredFileTags.h"
#include "TMicroWriter.h"

QByteArray TSaveItNew::BuildMonitorFile(const QString& monitorName, const QString& monitorIdentity,
                                        const QString& patientId, const QString& patientName,
                                        qint32 reservedSpace) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.WriteHeader();
    writer.BeginFolding(StoredTag::FileInformation);
    writer.WriteIntRecord(StoredTag::FileKind, qint32(TZelFileType::ftMonitorData));
    writer.WriteIntRecord(StoredTag::Reserved, 0);
    writer.EndFolding();
    writer.BeginFolding(StoredTag::MonitorInfo);
    writer.WriteStringRecord(StoredTag::MonitorName, monitorName);
    writer.WriteStringRecord(StoredTag::MonitorIdentity, monitorIdentity);
    writer.WriteStringRecord(StoredTag::PatientID, patientId);
    writer.WriteStringRecord(StoredTag::PatientName, patientName);
    writer.EndFolding();
    writer.BeginFolding(StoredTag::ReservedSpace);
    const QByteArray zeros(std::max(reservedSpace, 0), '\0');
    writer.WriteRaw(zeros.constData(), zeros.size());
    writer.EndFolding();
    writer.CloseStream();
    return data;
}

namespace {

// One folding built alone, without checksums, as it is written into a file.
template <typename Fill> QByteArray buildFolding(qint32 tag, Fill fill) {
    QByteArray data;
    TMicroWriter writer;
    writer.SetStream(&data);
    writer.BeginFolding(tag);
    fill(writer);
    writer.EndFolding();
    return data;
}

} // namespace

QByteArray TSaveItNew::BuildSerieRecord(qint16 index, const QString& parameterName,
                                        const QString& measurementPlace, const QString& extraName,
                                        const QString& substanceKey, const QString& unit) {
    return buildFolding(StoredTag::Serie, [&](TMicroWriter& writer) {
        writer.WriteIntRecord(StoredTag::SerieIndex, index);
        writer.WriteStringRecord(StoredTag::SerieParameterName, parameterName);
        writer.WriteStringRecord(StoredTag::SerieMeasurementPlace, measurementPlace);
        writer.WriteStringRecord(StoredTag::SerieExtraName, extraName);
        writer.WriteStringRecord(StoredTag::SerieUnit, unit);
        writer.WriteStringRecord(StoredTag::SerieParameterID, substanceKey);
    });
}

QByteArray TSaveItNew::BuildPointRecord(qint16 index, TAnalyseResult status, qint32 attemptNo,
                                        const QString& vialId, const QString& statusText,
                                        double value, double time) {
    return buildFolding(StoredTag::ResultPoint, [&](TMicroWriter& writer) {
        writer.WriteInt16(index);
        writer.WriteDouble(time);
        writer.WriteDouble(value);
        writer.WriteByte(quint8(status));
        writer.WriteString(statusText);
        writer.WriteString(vialId);
        writer.WriteInt32(attemptNo);
    });
}

QByteArray TSaveItNew::BuildSerieBreakRecord(qint16 index, double time) {
    return buildFolding(StoredTag::EndPoint, [&](TMicroWriter& writer) {
        writer.WriteInt16(index);
        writer.WriteDouble(time);
        writer.WriteDouble(0.0);
    });
}
