#pragma once

// Figures of the running program for the benchmark: how long after the process started the first
// frame was shown, and the resident memory then and a while later.
struct ProcessFigures {
    double millisecondsSinceProcessStart = -1;  // -1 when the system does not say
    double residentMiB = -1;
};

// Reads the figures of this process now (from /proc).
ProcessFigures readProcessFigures();
