#pragma once

// Registers the download records under their own names, so that snapshots can travel through
// queued signals between an engine's thread and the GUI thread. Called once at program start.
void registerDownloadMetaTypes();
