#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Collects every console line written while it lives.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    const QStringList &lines() const { return _lines; }
    bool contains(const QString &line) const { return _lines.contains(line); }

private:
    QStringList _lines;
};

// Gives the test its own data directory (XDG_DATA_HOME) for as long as it lives, so the support
// directory and the shared log start empty; restores the previous one afterwards.
class ScopedDataHome {
public:
    ScopedDataHome();
    ~ScopedDataHome();
    QString path() const { return _dir.path(); }
    // The support directory inside it (created on demand by the log).
    QString supportPath() const { return _dir.path() + QStringLiteral("/Cellwise"); }

private:
    QTemporaryDir _dir;
    QByteArray _previous;
};

// Writes text into a file below root, creating the folders on the way.
void writeTextFile(const QString &root, const QString &relativePath, const QString &text);
