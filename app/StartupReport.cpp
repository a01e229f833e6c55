#include "app/StartupReport.h"

#include "common/ProcessStat.h"

ProcessFigures readProcessFigures() {
    ProcessFigures figures;
    figures.residentMiB = readResidentMiB(0);
    figures.millisecondsSinceProcessStart = millisecondsSinceProcessStart();
    return figures;
}
