#pragma once

#include <vector>

#include <QString>

class SettingsStore;
class TParameters;

// How values would be filtered over the collect interval. Only shown; no value is filtered.
enum class FilterFunction { Median, Average, Momentary };

// A parameter kept in the stored selection.
struct SelectedParameter {
    int index = 0;
    QString name;
};

// The collection settings read when the window is first shown (or, without a window, at the
// end of start-up).
struct CollectionSettings {
    std::vector<SelectedParameter> selection; // "Param0", "Param1", ... with "Name<index>"
    bool automatic = true;
    FilterFunction filter = FilterFunction::Median;
    int intervalSeconds = 30;
    int timerIntervalMs = 1000;
    int medianFilterValue = 15;
    bool useTarvoSettings = true;

    static CollectionSettings Read(const SettingsStore& settings);

    // Replaces the stored selection ("Param"/"Name" values) and writes Automatic.
    static void SaveSelection(const SettingsStore& settings,
                              const std::vector<SelectedParameter>& selection, bool automatic);

    // The shortest collect interval the interval dialog accepts, and its refusal text.
    int ShortestInterval() const { return 2 * medianFilterValue; }
    QString IntervalRefusal() const;

    // Marks the catalogue's parameters of the stored selection as selected.
    void ApplySelection(TParameters& catalogue) const;
};

FilterFunction filterFunctionFromSetting(const QString& value);
