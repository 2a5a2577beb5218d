#include "CollectionSettings.h"

#include "ParameterCatalogue.h"
#include "SettingsStore.h"

FilterFunction filterFunctionFromSetting(const QString& value) {
    const QString upper = value.toUpper();
    if (upper == QLatin1String("AVERAGE"))
        return FilterFunction::Average;
    if (upper.contains(QLatin1String("MOMENT")))
        return FilterFunction::Momentary;
    return FilterFunction::Median;
}

CollectionSettings CollectionSettings::Read(const SettingsStore& settings) {
    CollectionSettings result;
    const QStringList names = settings.valueNames();
    for (int n = 0;; ++n) {
        const QString paramName = QStringLiteral("Param") + QString::number(n);
        if (!names.contains(paramName))
            break;
        bool ok = false;
        const int index = settings.readText(paramName).trimmed().toInt(&ok);
        if (!ok)
            continue; // a hand-edited value that is not a number selects nothing
        result.selection.push_back(
            {index, settings.readText(QStringLiteral("Name") + QString::number(index))});
    }
    result.automatic = settings.read(Setting::Automatic);
    result.filter = filterFunctionFromSetting(settings.read(Setting::FilterFunction));
    result.intervalSeconds = settings.read(Setting::Interval);
    result.timerIntervalMs = settings.read(Setting::TimerInterval);
    result.medianFilterValue = settings.read(Setting::MedianFilterValue);
    result.useTarvoSettings = settings.read(Setting::UseTarvoSettings);
    return result;
}

void CollectionSettings::SaveSelection(const SettingsStore& settings,
                                       const std::vector<SelectedParameter>& selection,
                                       bool automatic) {
    QStringList deleted;
    for (const QString& name : settings.valueNames()) {
        if (name.startsWith(QLatin1String("Param")) || name.startsWith(QLatin1String("Name")))
            deleted << name;
    }
    std::vector<std::pair<QString, QString>> written;
    for (std::size_t i = 0; i < selection.size(); ++i) {
        const SelectedParameter& parameter = selection[i];
        written.emplace_back(QStringLiteral("Param") + QString::number(i),
                             QString::number(parameter.index));
        written.emplace_back(QStringLiteral("Name") + QString::number(parameter.index),
                             parameter.name);
    }
    settings.replaceTexts(deleted, written);
    settings.change(Setting::Automatic, automatic);
}

QString CollectionSettings::IntervalRefusal() const {
    return QStringLiteral("Shortest allowed interval is ") + QString::number(ShortestInterval()) +
           QStringLiteral(" seconds.");
}

void CollectionSettings::ApplySelection(TParameters& catalogue) const {
    for (const SelectedParameter& parameter : selection) {
        for (int i = 0; i < catalogue.Count(); ++i) {
            if (catalogue.At(i).Index == parameter.index)
                catalogue.At(i).Selected = true;
        }
    }
}
