#pragma once

namespace sonalto {

// Process start: single instance, folders, windows, message loop.
int runApplication(int argc, char **argv);

} // namespace sonalto

namespace sonalto {
// Application and output folders, and the output folder written back at once.
void resolveFolders();
} // namespace sonalto
