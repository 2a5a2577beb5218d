#include "TMicroStreamParser.h"

#include "StreamObjectReader.h"
#include "TMicroReader.h"

namespace {

// Keeps the objects of the levels that are open, and hands each to the enclosing object (or to
// the result) when its level closes.
class ObjectCollector : public StreamObjectReader {
public:
    ObjectCollector(std::function<IPersistIT*(qint32)> findPrototype, QString& name)
        : m_findPrototype(std::move(findPrototype)), m_name(name) {}

    void levelClosed(TMicroReader& reader) {
        if (m_open.empty() || reader.Depth() >= m_open.back().depth)
            return;
        std::unique_ptr<IPersistIT> finished = std::move(m_open.back().object);
        m_open.pop_back();
        finished->ReadingDone();
        if (!m_open.empty())
            m_open.back().object->AddChild(std::move(finished));
        else
            m_result.push_back(std::move(finished));
    }

    std::vector<std::unique_ptr<IPersistIT>> takeResult() { return std::move(m_result); }

protected:
    Creator objectOpenedBy(qint32 tag, TStreamObject*) override {
        if (tag == TMicroStreamParser::kNameTag && m_open.empty())
            return {};
        IPersistIT* prototype = m_findPrototype(tag);
        if (prototype == nullptr)
            return {};
        return [this, prototype](TMicroReader& reader) {
            m_open.push_back({prototype->CreateNew(), reader.Depth()});
            return m_open.back().object.get();
        };
    }

    bool readObjectRecord(TStreamObject& object, qint32 tag, TMicroReader& reader) override {
        auto* persistent = dynamic_cast<IPersistIT*>(&object);
        if (persistent == nullptr)
            return false;
        persistent->ReadRecord(tag, reader);
        return true;
    }

    bool readOwnRecord(qint32 tag, TMicroReader& reader) override {
        if (tag != TMicroStreamParser::kNameTag || !m_open.empty())
            return false;
        m_name = reader.ReadString();
        return true;
    }

private:
    struct OpenObject {
        std::unique_ptr<IPersistIT> object;
        int depth;
    };

    std::function<IPersistIT*(qint32)> m_findPrototype;
    QString& m_name;
    std::vector<OpenObject> m_open;
    std::vector<std::unique_ptr<IPersistIT>> m_result;
};

} // namespace

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
    m_name.clear();
    ObjectCollector collector([this](qint32 tag) { return findPrototype(tag); }, m_name);
    TMicroReader reader;
    reader.SetOnLevelClosed(
        [&collector](TMicroReader& r, quint8, bool) { collector.levelClosed(r); });
    m_fileValid = collector.load(reader, stream);
    return collector.takeResult();
}
