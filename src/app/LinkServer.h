// The main window's link server routines: connect to the link server named
// by the engine's local configuration, while the launcher runs.
#pragma once

// Does nothing while the link is up.
void ConnectLinkServer();
// Closes the link, then connects again.
void ReconnectLinkServer();
