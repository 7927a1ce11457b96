#pragma once

#include <QString>

// Starting Cellwise at login: an XDG autostart entry ($XDG_CONFIG_HOME/autostart) that runs it with
// --background. The entry itself is the setting, so removing it by hand turns the option off.
class CWAutostart {
public:
    CWAutostart() = delete;

    // The application's reverse-DNS id: the name of its desktop entry, icon and metainfo.
    static QString applicationID();
    static QString entryPath();
    static bool isEnabled();
    // Writes or removes the entry; false with a one-line reason in `error` when that failed.
    static bool setEnabled(bool enabled, QString *error);
    // The entry's text, starting the given executable.
    static QString entryText(const QString &executable);
};
