#pragma once

#include <QString>

namespace sonalto {

// Process start: single instance, folders, windows, message loop.
int runApplication(int argc, char **argv);

} // namespace sonalto

namespace sonalto {
// Application and output folders, and the output folder written back at once. A stored
// folder that is not there now (a drive not plugged in) is not replaced in the settings:
// the recordings go to the documents folder's for this run, and the stored folder is
// returned so that the window can say so. Empty otherwise.
QString resolveFolders();
} // namespace sonalto
