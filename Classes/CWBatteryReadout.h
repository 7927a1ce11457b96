#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The figures the dashboard's battery shows, read from a snapshot in registry keys and units.
// Many batteries leave keys out (no temperature, no cell voltages, no time estimate): a missing
// value reads "---", never a number made up from nothing.
class CWBatteryReadout {
public:
    CWBatteryReadout() = delete;

    static constexpr int kMaxCells = 16;

    // A snapshot whose "BatteryInstalled" is true.
    static bool isInstalled(const QVariant &battInfo);
    // Current over full capacity in 0.0 to 1.0; 0.0 without both readings or with no full capacity.
    static double charge(const QVariantMap &snapshot);
    // "50.0%", or "---" when the charge cannot be known.
    static QString percentText(const QVariantMap &snapshot);
    // Stars for full over design capacity; "—" without both.
    static QString healthRating(const QVariantMap &snapshot);
    static QString temperatureText(const QVariantMap &snapshot, qint64 temperatureUnit);

    // Liquid colour at a charge: red through amber to green for the battery; for a cell, green at
    // its nominal voltage and amber on either side.
    static QColor liquidColor(double charge, bool cell);

    // The non-zero cell voltages in volts, at most kMaxCells; `exceeded` tells whether more were left out.
    static QList<double> cellVolts(const QVariantMap &snapshot, bool *exceeded = nullptr);
    // How full a cell at `volts` is within 80 % to 120 % of its share of the nominal pack voltage.
    static double cellFraction(double volts, double nominalPackVolts, qsizetype cellCount);
    // The row of cells under a battery body `width` wide with a band `bandHeight` below it: each
    // cell's side and the row's left edge.
    struct CellRow {
        double side;
        double left;
    };
    static CellRow cellRow(qsizetype cellCount, double width, double bandHeight);

    // Two-column text blocks: readings below the battery, state and health above it.
    struct Block {
        QStringList titles;
        QStringList values;
    };
    static Block lowerBlock(const QVariantMap &snapshot, qint64 temperatureUnit);
    static Block upperBlock(const QVariantMap &snapshot);
};
