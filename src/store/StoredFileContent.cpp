#include "StoredFileContent.h"

QString problemKindName(TFileProblem::Kind kind) {
    switch (kind) {
    case TFileProblem::Kind::ChecksumMismatch:
        return QStringLiteral("checksum mismatch");
    case TFileProblem::Kind::IndexGap:
        return QStringLiteral("index gap");
    case TFileProblem::Kind::PointForMissingSerie:
        return QStringLiteral("point for a missing series");
    case TFileProblem::Kind::TruncatedRecord:
        return QStringLiteral("truncated record");
    case TFileProblem::Kind::DamagedRecord:
        return QStringLiteral("damaged record");
    case TFileProblem::Kind::UnexpectedRecord:
        return QStringLiteral("unexpected record");
    case TFileProblem::Kind::Unreadable:
        break;
    }
    return QStringLiteral("unreadable");
}

std::vector<const TParameterSerie*> TStoredFileContent::series() const {
    std::vector<const TParameterSerie*> found;
    for (const auto& object : objects) {
        if (const auto* serie = dynamic_cast<const TParameterSerie*>(object.get()))
            found.push_back(serie);
    }
    return found;
}

std::vector<const TMonitorInfo*> TStoredFileContent::monitors() const {
    std::vector<const TMonitorInfo*> found;
    for (const auto& object : objects) {
        if (const auto* monitor = dynamic_cast<const TMonitorInfo*>(object.get()))
            found.push_back(monitor);
    }
    return found;
}

const TEventSerie* TStoredFileContent::eventSerie() const {
    for (const auto& object : objects) {
        if (const auto* events = dynamic_cast<const TEventSerie*>(object.get()))
            return events;
    }
    return nullptr;
}

bool TStoredFileContent::hasProblem(TFileProblem::Kind kind) const {
    for (const TFileProblem& problem : problems) {
        if (problem.kind == kind)
            return true;
    }
    return false;
}
