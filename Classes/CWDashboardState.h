#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// What the dashboard shows of the power flow, derived from the monitor's readings and the chosen
// unit: which arrows run and how fast, the power-flow label and the plug's adornment.
struct CWDashboardState {
    // Adapter states; each but the first names the plug's adornment artwork.
    enum AdapterState { Unknown = 0, NotPlugged = 1, Plugged = 2, Charging = 3 };

    struct Readings {
        bool isCharging = false;
        bool hasAdapter = false;
        double wattage = 0.0;  // W, negative while discharging
        double amperage = 0.0; // A
        qint64 battUnit = 1;   // CWDefaultBattUnit: 1 watts, 2 amperes
    };

    struct Arrow {
        std::optional<double> speed; // none: keeps its speed
        bool hidden = true;
    };

    Arrow plugToBatt;
    Arrow plugToComp;
    Arrow battToComp;
    QString label; // null: no label
    AdapterState adapterState = Unknown;

    // The speed of the plug-to-computer arrow, whatever the load.
    static constexpr double kAdapterSpeed = 40.0;

    static CWDashboardState derive(const Readings &readings);
    // "12.3 watts →", "← 0.813 amps"; null for no flow or an unknown unit.
    static QString powerFlowLabel(qint64 battUnit, double wattage, double amperage);
    static const char *adornmentName(AdapterState state);
    // The hash of a snapshot's text description: equal snapshots hash alike.
    static size_t snapshotHash(const QVariant &battInfo);
};
