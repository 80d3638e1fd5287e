// Why an installation stopped: the installer's verdict, kept by the engine;
// and where a test makes it stop.
#pragma once

#include <functional>

// Why an installation stopped. The engine tells its window of the first two
// (the package's file list or its versions), the message boxes of the others.
enum EInstallError {
    INSTALL_OK = 0,
    INSTALL_BAD_PACKAGE,        // no zip resource, no usable file list (message 1126)
    INSTALL_VERSION_RANGE,      // versions missing, client outside the range, another step (1127)
    INSTALL_COPY_ERROR,
    INSTALL_DIGEST_ERROR,
    INSTALL_VERSIONS_NOT_SAVED,
    INSTALL_REFUSED_NAME,       // a path of the package failed the fence (1126)
    INSTALL_BOUND_EXCEEDED,     // the file list is too large, too deep or too long (1126)
    INSTALL_DISK_FULL,
    INSTALL_NEEDS_REPAIR,       // an earlier journal is damaged: nothing was touched
    INSTALL_DELTA_BASE,         // an installed file is not the one a delta applies to: nothing was touched
    INSTALL_DELTA_DAMAGED,      // a delta of the package cannot be applied: nothing was touched
    INSTALL_UNREADABLE,         // the package file cannot be opened (the log says why)
    INSTALL_FILE_LOCKED,        // a file to replace stayed in use by another program: undone
};

// Asked before each change to the game directory with its number (0, 1,
// ...): true makes that change fail. How tests break an installation
// half-way; none in the programs.
typedef std::function<bool(unsigned step)> InstallFaults;
