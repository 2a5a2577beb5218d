#pragma once

#include <QString>
#include <pugixml.hpp>

// Typed access to one element of a bound document. Reading a child element that is absent
// creates it empty (a text reads as ""); integer and boolean reads of an absent or empty element
// fail with EConvertError. Structured children are returned bound to their classes.
class TXMLNode {
public:
    TXMLNode() = default;
    explicit TXMLNode(pugi::xml_node element) : m_element(element) {}

    pugi::xml_node Element() const { return m_element; }
    QString NodeName() const { return QString::fromUtf8(m_element.name()); }
    QString Text() const;
    void SetText(const QString& text);
    bool HasChild(const char* tag) const { return bool(m_element.child(tag)); }

protected:
    pugi::xml_node ChildElement(const char* tag) const;
    QString ChildText(const char* tag) const;
    void SetChildText(const char* tag, const QString& text);
    int ChildInteger(const char* tag) const;
    void SetChildInteger(const char* tag, int value);
    bool ChildBoolean(const char* tag) const;
    void SetChildBoolean(const char* tag, bool value);
    QString AttributeText(const char* name) const;
    void SetAttributeText(const char* name, const QString& value);
    template <typename Bound> Bound Child(const char* tag) const {
        return Bound(ChildElement(tag));
    }

    pugi::xml_node m_element;
};

// An element whose content is a repeated child (the item tag), or the items of one tag that
// stand beside other children. Walking the items in order costs one step per item; the count is
// taken once per list object and follows its own Add and Insert.
class TXMLNodeCollection : public TXMLNode {
public:
    TXMLNodeCollection(pugi::xml_node element, const char* itemTag)
        : TXMLNode(element), m_itemTag(itemTag) {}

    int Count() const;

protected:
    pugi::xml_node ItemElement(int index) const;
    pugi::xml_node AddElement();
    pugi::xml_node InsertElement(int index);

private:
    const char* m_itemTag;
    mutable int m_cachedIndex = -1;
    mutable pugi::xml_node m_cachedItem;
    mutable int m_cachedCount = -1;
};

// A collection whose items are bound to one class.
template <typename Item> class TXMLList : public TXMLNodeCollection {
public:
    using TXMLNodeCollection::TXMLNodeCollection;
    Item Get_Item(int index) const { return Item(ItemElement(index)); }
    Item operator[](int index) const { return Get_Item(index); }
    Item Add() { return Item(AddElement()); }
    Item Insert(int index) { return Item(InsertElement(index)); }
};

// Accessors after the element and attribute names, as the schema tables give them.
#define TARVO_XML_TEXT(Name)                                                                       \
    QString Get_##Name() const {                                                                   \
        return ChildText(#Name);                                                                   \
    }                                                                                              \
    void Set_##Name(const QString& value) {                                                        \
        SetChildText(#Name, value);                                                                \
    }
#define TARVO_XML_INTEGER(Name)                                                                    \
    int Get_##Name() const {                                                                       \
        return ChildInteger(#Name);                                                                \
    }                                                                                              \
    void Set_##Name(int value) {                                                                   \
        SetChildInteger(#Name, value);                                                             \
    }
#define TARVO_XML_BOOLEAN(Name)                                                                    \
    bool Get_##Name() const {                                                                      \
        return ChildBoolean(#Name);                                                                \
    }                                                                                              \
    void Set_##Name(bool value) {                                                                  \
        SetChildBoolean(#Name, value);                                                             \
    }
#define TARVO_XML_ATTRIBUTE(Name)                                                                  \
    QString Get_##Name() const {                                                                   \
        return AttributeText(#Name);                                                               \
    }                                                                                              \
    void Set_##Name(const QString& value) {                                                        \
        SetAttributeText(#Name, value);                                                            \
    }
#define TARVO_XML_CHILD(Type, Name)                                                                \
    Type Get_##Name() const {                                                                      \
        return Child<Type>(#Name);                                                                 \
    }
// A list of items that stand beside other children of this element.
#define TARVO_XML_LIST(ListType, Name)                                                             \
    ListType Get_##Name() const {                                                                  \
        return ListType(m_element);                                                                \
    }
