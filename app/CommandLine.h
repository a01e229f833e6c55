#pragma once

#include <QString>
#include <QStringList>

#include <netinet/in.h>

#include <optional>

#include "common/ProgramOptions.h"
#include "net/SenderAddress.h"
#include "net/TelemetryReceiver.h"

// What the command line asks for: a document file, and optionally a picture of the view taken a
// while after start-up (for headless checks), after which the program ends.
struct CommandLine {
    QString documentFile;  // empty: a new, untitled document
    QString screenshotFile;
    double screenshotAfterSeconds = 1.0;
    bool reportStartup = false;  // print the start-up figures at the first frame, then end
    bool reportFrames = false;   // print the count of painted frames once a second
    bool userFolder = false;     // work in the operator's own folder, as started from the menu
    bool noRecord = false;       // record no flight in this run, whatever the profile says
    QString replayFile;          // a recording to replay from the start
    QString error;               // not empty when the arguments could not be understood
    // Where telemetry is taken from and received: the pinned aircraft (--aircraft, nothing: any
    // sender, or the profile's), the local address (--listen, network byte order; all by default)
    // and the port (--port).
    std::optional<AircraftAddress> aircraft;
    QString aircraftText;
    in_addr_t listenAddress = htonl(INADDR_ANY);
    int telemetryPort = TelemetryReceiver::kTelemetryPort;
};
// `arguments` as given, program name first (the toolkit's own options are passed over, whether
// the toolkit has taken them off yet or not); names in the network options are resolved with
// `resolve`.
CommandLine parseCommandLine(const QStringList& arguments, const NameResolver& resolve = resolveIpv4Name);
// Makes every file the command line names absolute from `folder`, where the command was typed, so
// that the program may change its working folder afterwards. A new path option is added here too.
void anchorCommandLinePaths(CommandLine& commandLine, const QString& folder);
// The program's options, usage and files, for --help and the parsing.
const ProgramDescription& orvaneProgram();
