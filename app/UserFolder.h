#pragma once

#include <filesystem>
#include <string>
#include <vector>

class Notifier;

// Started from the desktop menu the program has no meaningful working directory, so it runs in a
// folder of the operator's own, laid out on first start from what the package installed. Started
// from a terminal it keeps the directory it was started in.

// $XDG_DATA_HOME/orvane, or $HOME/.local/share/orvane when XDG_DATA_HOME is unset or not an
// absolute path (a relative one is invalid and ignored). Empty when neither gives a folder.
std::filesystem::path userFolderPath(const char* xdgDataHome, const char* home);

// Where the installed programs keep the catalogue map pictures, relative to their own folder.
std::filesystem::path installedMapsFolder(const std::filesystem::path& programFolder);

// Creates `folder`, copies into it each map picture of `mapsFolder` that it lacks and makes
// "OpenGC.exe" a link to `cockpitProgram` unless an entry of that name exists. Never replaces or
// writes through anything already there, the operator's own files and links included. Returns what
// could not be done, one sentence each; empty when all went well.
std::vector<std::string> layOutUserFolder(const std::filesystem::path& folder,
                                          const std::filesystem::path& mapsFolder,
                                          const std::filesystem::path& cockpitProgram);

// Lays out the operator's folder from the installation the running program belongs to and makes it
// the working directory. What goes wrong is told through `notifier`; false when the program cannot
// work in the folder.
bool enterUserFolder(Notifier& notifier);
