#include "TXMLNode.h"

#include <array>
#include <charconv>
#include <cstring>

#include "XmlErrors.h"

namespace {

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

// A plain integer text (an optional minus and up to nine digits, nothing else) read from the
// bytes; false for any other text.
bool plainInteger(const char* text, int& value) {
    const std::size_t size = std::strlen(text);
    const std::size_t digits = size - (size > 0 && text[0] == '-' ? 1 : 0);
    if (digits == 0 || digits > 9)
        return false;
    const std::from_chars_result read = std::from_chars(text, text + size, value);
    return read.ec == std::errc() && read.ptr == text + size;
}

// The text of UTF-8 bytes. Element texts repeat from one measurement to the next (names, places,
// units, states): the last few short ones made are kept, so that a repeated text costs a
// comparison and shares the text made before instead of being decoded again.
QString textOf(const char* bytes) {
    constexpr std::size_t kLongestKept = 64;
    constexpr std::size_t kKept = 16;
    struct Kept {
        QByteArray bytes;
        QString text;
    };
    thread_local std::array<Kept, kKept> kept;
    thread_local std::size_t next = 0;
    const std::size_t size = std::strlen(bytes);
    if (size > kLongestKept)
        return QString::fromUtf8(bytes, qsizetype(size));
    for (const Kept& k : kept) {
        if (std::size_t(k.bytes.size()) == size && !k.text.isNull() &&
            std::memcmp(k.bytes.constData(), bytes, size) == 0)
            return k.text;
    }
    Kept& slot = kept[next];
    next = (next + 1) % kKept;
    slot.bytes = QByteArray(bytes, qsizetype(size));
    slot.text = QString::fromUtf8(bytes, qsizetype(size));
    return slot.text;
}

} // namespace

QString TXMLNode::Text() const {
    return QString::fromUtf8(m_element.child_value());
}

void TXMLNode::SetText(const QString& text) {
    m_element.text().set(utf8(text).constData());
}

pugi::xml_node TXMLNode::ChildElement(const char* tag) const {
    pugi::xml_node child = m_element.child(tag);
    if (!child) {
        pugi::xml_node parent = m_element;
        child = parent.append_child(tag);
    }
    return child;
}

QString TXMLNode::ChildText(const char* tag) const {
    return textOf(ChildElement(tag).child_value());
}

void TXMLNode::SetChildText(const char* tag, const QString& text) {
    ChildElement(tag).text().set(utf8(text).constData());
}

int TXMLNode::ChildInteger(const char* tag) const {
    const char* plain = ChildElement(tag).child_value();
    int value = 0;
    if (plainInteger(plain, value))
        return value;
    const QString text = QString::fromUtf8(plain);
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(u'\'' + text + QStringLiteral("' is not a valid integer value"));
    return value;
}

void TXMLNode::SetChildInteger(const char* tag, int value) {
    ChildElement(tag).text().set(value);
}

bool TXMLNode::ChildBoolean(const char* tag) const {
    const QString text = ChildText(tag);
    const QString lower = text.trimmed().toLower();
    if (lower == QLatin1String("true") || lower == QLatin1String("1") ||
        lower == QLatin1String("-1"))
        return true;
    if (lower == QLatin1String("false") || lower == QLatin1String("0"))
        return false;
    throw EConvertError(u'\'' + text + QStringLiteral("' is not a valid boolean value"));
}

void TXMLNode::SetChildBoolean(const char* tag, bool value) {
    ChildElement(tag).text().set(value ? "true" : "false");
}

QString TXMLNode::AttributeText(const char* name) const {
    return QString::fromUtf8(m_element.attribute(name).value());
}

void TXMLNode::SetAttributeText(const char* name, const QString& value) {
    pugi::xml_attribute attribute = m_element.attribute(name);
    if (!attribute) {
        pugi::xml_node element = m_element;
        attribute = element.append_attribute(name);
    }
    attribute.set_value(utf8(value).constData());
}

int TXMLNodeCollection::Count() const {
    if (m_cachedCount >= 0)
        return m_cachedCount;
    int count = 0;
    for (pugi::xml_node item = m_element.child(m_itemTag); item;
         item = item.next_sibling(m_itemTag))
        ++count;
    m_cachedCount = count;
    return count;
}

pugi::xml_node TXMLNodeCollection::ItemElement(int index) const {
    pugi::xml_node item;
    int at = 0;
    if (m_cachedIndex >= 0 && m_cachedIndex <= index) {
        item = m_cachedItem;
        at = m_cachedIndex;
    } else {
        item = m_element.child(m_itemTag);
    }
    while (item && at < index) {
        item = item.next_sibling(m_itemTag);
        ++at;
    }
    if (!item || index < 0)
        throw EConvertError(QStringLiteral("List index out of bounds (%1)").arg(index));
    m_cachedIndex = index;
    m_cachedItem = item;
    return item;
}

pugi::xml_node TXMLNodeCollection::AddElement() {
    m_cachedIndex = -1;
    m_cachedCount = -1;
    pugi::xml_node last;
    for (pugi::xml_node item = m_element.child(m_itemTag); item;
         item = item.next_sibling(m_itemTag))
        last = item;
    return last ? m_element.insert_child_after(m_itemTag, last) : m_element.append_child(m_itemTag);
}

pugi::xml_node TXMLNodeCollection::InsertElement(int index) {
    if (index >= Count())
        return AddElement();
    const pugi::xml_node before = ItemElement(index);
    m_cachedIndex = -1;
    m_cachedCount = -1;
    return m_element.insert_child_before(m_itemTag, before);
}
