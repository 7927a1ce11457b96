#pragma once

#include <QString>

// The application's own data folder, "Cellwise" in the user's data location (normally
// ~/.local/share/Cellwise): the log database and the machine-ID file live there. Created when
// missing; a file in its place is removed first. Null, after one console line, when that fails.
QString supportDirectory();
// Where that folder is, whether it exists or not; null when the user has no data location.
QString supportDirectoryPath();
