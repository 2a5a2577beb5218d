#include "TMicroStreamParser.h"

#include "TMicroReader.h"

TMicroStreamParser::TMicroStreamParser(std::uint32_t seed) : m_random(seed) {}

void TMicroStreamParser::RegisterPrototype(std::unique_ptr<IPersistIT> prototype) {
    m_prototypes.push_back(std::move(prototype));
}

std::vector<qint32> TMicroStreamParser::LookupOrder() const {
    std::vector<qint32> order;
    for (const auto& prototype : m_prototypes)
        order.push_back(prototype->RecordType());
    return order;
}

IPersistIT* TMicroStreamParser::findPrototype(qint32 tag) {
    for (std::size_t i = 0; i < m_prototypes.size(); ++i) {
        if (m_prototypes[i]->RecordType() != tag)
            continue;
        if (i > 0 && m_chance(m_random) > 0.999) {
            std::swap(m_prototypes[i], m_prototypes[i - 1]);
            return m_prototypes[i - 1].get();
        }
        return m_prototypes[i].get();
    }
    return nullptr;
}

std::vector<std::unique_ptr<IPersistIT>> TMicroStreamParser::Parse(const QByteArray& stream) {
    std::vector<std::unique_ptr<IPersistIT>> result;
    std::vector<OpenObject> open;
    m_name.clear();

    TMicroReader reader;
    reader.SetOnLevelClosed([&](TMicroReader& r, quint8, bool) {
        if (open.empty() || r.Depth() >= open.back().depth)
            return;
        std::unique_ptr<IPersistIT> finished = std::move(open.back().object);
        open.pop_back();
        finished->ReadingDone();
        if (!open.empty())
            open.back().object->AddChild(std::move(finished));
        else
            result.push_back(std::move(finished));
    });

    const auto handler = [&](qint32 tag, TMicroReader& r) {
        if (tag == kNameTag && open.empty()) {
            m_name = r.ReadString();
            return;
        }
        if (IPersistIT* prototype = findPrototype(tag)) {
            r.BeginFolding(tag);
            open.push_back({prototype->CreateNew(), r.Depth()});
            r.SetCurrentObject(open.back().object.get());
            return;
        }
        if (!open.empty() && r.Depth() == open.back().depth) {
            open.back().object->ReadRecord(tag, r);
            return;
        }
        r.SkipRecord();
    };

    m_fileValid = reader.Load(stream, handler);
    return result;
}
