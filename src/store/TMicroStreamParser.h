#pragma once

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <QByteArray>
#include <QString>

#include "IPersistIT.h"

class TMicroReader;

// Turns a stream into objects. Classes register a prototype; a record whose tag is a
// registered record type becomes a new object of that class, which reads the records of its
// folding and is handed to the enclosing object (or, at the top level, to the result list)
// when its folding closes. Frequently found classes slowly move to the front of the lookup.
class TMicroStreamParser {
public:
    static constexpr qint32 kNameTag = 2019;

    explicit TMicroStreamParser(std::uint32_t seed = std::random_device{}());

    void RegisterPrototype(std::unique_ptr<IPersistIT> prototype);

    // Reads the stream; returns the top-level objects in stream order. Throws the stream
    // layer's failures; checksum mismatches are reported by FileValid().
    std::vector<std::unique_ptr<IPersistIT>> Parse(const QByteArray& stream);

    bool FileValid() const { return m_fileValid; }
    QString Name() const { return m_name; }
    // Record types in their current lookup order.
    std::vector<qint32> LookupOrder() const;

private:
    IPersistIT* findPrototype(qint32 tag);

    std::vector<std::unique_ptr<IPersistIT>> m_prototypes;
    std::mt19937 m_random;
    std::uniform_real_distribution<double> m_chance{0.0, 1.0};
    QString m_name;
    bool m_fileValid = true;
};
