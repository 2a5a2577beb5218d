#pragma once

#include <memory>
#include <vector>

#include <QDateTime>
#include <QObject>
#include <QString>

// Every (parameter name, measurement place) seen in this run, with the unit it came in; the
// parameter selection of collection control works on it. The unit is not part of the key.
struct TParameter {
    int Index = 0;
    QString DisplayName;
    QString KeyName;
    QString MeasurementPlace;
    QString Unit;
    bool Selected = false;
    int SettingA = 1;
    int SettingB = 2;
    std::vector<double> MedianList;
    QDateTime Created;
    QDateTime LastTime;
    int CountA = 0;
    int CountB = 0;
};

class TParameters : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    int Count() const { return int(m_parameters.size()); }
    TParameter& At(int index) { return m_parameters.at(std::size_t(index)); }
    const TParameter& At(int index) const { return m_parameters.at(std::size_t(index)); }
    // The position of (name, place), or -1.
    int IndexOf(const QString& name, const QString& place) const;
    bool Contains(const QString& name, const QString& place) const {
        return IndexOf(name, place) >= 0;
    }
    TParameter& Add(int index, const QString& unit, const QString& place, const QString& name,
                    const QDateTime& now);
    void Clear();

signals:
    void changed();

private:
    std::vector<TParameter> m_parameters;
};

// A selected parameter: index, name and place; equal when the names are equal.
struct TParamAndIndexConnection {
    int Index = 0;
    QString Name;
    QString Place;
    bool operator==(const TParamAndIndexConnection& other) const { return Name == other.Name; }
    void Assign(const TParamAndIndexConnection& other) { *this = other; }
};
