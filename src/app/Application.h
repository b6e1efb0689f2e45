#pragma once

namespace sonalto {

// Process start: single instance, folders, windows, message loop.
int runApplication(int argc, char **argv);

} // namespace sonalto
