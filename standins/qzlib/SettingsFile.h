// Where the settings-store stand-in finds its file.
#pragma once

// Name of the environment variable that holds the settings file's path.
constexpr char kQzSettingsFileVariable[] = "QZ_SETTINGS_FILE";
