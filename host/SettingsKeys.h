// Sections and keys of the host platform settings store that the plug-in
// reads (and the demo writes).
// These names are a contract with the host's settings and array
// configuration: keep them character for character.
#pragma once

// The agent module's section; subsections are "~Vorlane/<name>".
constexpr char kSettingsSection[] = "~Vorlane";
// Above 0: the CIFS share of a mapped snapshot is hidden ("$" appended).
constexpr char kHideCifsShareOnSnapMount[] = "nHideCIFSShareOnSnapMount";
// Seconds to wait after a revert for the mount path to refresh (default 10).
constexpr char kRevertMountPathRefreshWait[] = "nRevertMountPathRefreshWaitInSecs";
