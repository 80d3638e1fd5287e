// The one version of the launcher and its tools, and the formats they read.
#pragma once

#define TW_VERSION_MAJOR 1
#define TW_VERSION_MINOR 3
#define TW_VERSION_PATCH 0
#define TW_VERSION_TEXT "1.3.0"
// Package formats (the file list's Installer version): whole files, and deltas.
#define TW_PACKAGE_FORMATS "1.0.0, 1.1.0 (deltas)"
