#include <QApplication>

#include <malloc.h>

#include <clocale>
#include <optional>

#include "app/COrvaneApp.h"
#include "common/ProgramOptions.h"
#include "view/COrvaneView.h"

// The one application object. Its constructor runs before main and touches no Qt object. It is
// never destroyed: the receiver thread, which is never stopped, decodes into it and tells the
// operator through it until the process ends.
static COrvaneApp& orvaneApp = *new COrvaneApp;

// Allocations from this size up are mapped apart from the heap (the allocator's own default).
constexpr int kLargeAllocationBytes = 128 * 1024;
// Free memory at the heap's top that a free leaves in place.
constexpr int kHeapTopKeptBytes = 16 * 1024 * 1024;

int main(int argc, char** argv) {
    // --help, --version and a command line that cannot be understood, a bad value included, are
    // answered before the toolkit starts, so that they need no display (without one the toolkit
    // ends the program at its start).
    const std::vector<std::string> arguments = argumentList(argc, argv);
    if (const auto status =
            answerCommandLine(orvaneProgram(), parseProgramOptions(orvaneProgram(), arguments)))
        return *status;
    QStringList words{QString::fromLocal8Bit(argv[0])};
    for (const std::string& argument : arguments) words.append(QString::fromLocal8Bit(argument));
    if (const CommandLine commandLine = parseCommandLine(words); !commandLine.error.isEmpty())
        return refuseCommandLine(orvaneProgram(), commandLine.error.toStdString());

    // The software renderer takes and frees buffers of hundreds of KiB on every frame. With the
    // allocator's moving threshold they come to live in the heap, where the view's trim once a
    // second hands their pages back and the next frame takes them again: resident memory then saws
    // by megabytes under load. A fixed threshold maps such buffers and unmaps them when freed.
    mallopt(M_MMAP_THRESHOLD, kLargeAllocationBytes);
    // A fixed threshold also fixes the one at which a free shrinks the heap, to the same size: the
    // heap's top would then be handed back and taken again on every frame. The view's trim once
    // a second hands it back instead.
    mallopt(M_TRIM_THRESHOLD, kHeapTopKeptBytes);

    // Every context is created with the view's format, so it has to be the default before Qt starts.
    COrvaneView::applyPixelFormat();
    QApplication application(argc, argv);
    // Qt takes the user's locale for the C library too; numbers on the wire, in the gain file and
    // on the screen are always written and read with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    // Ends before the QApplication does: no message may reach it once it is being destroyed.
    const MessageBoxNotifier::Attachment messageBoxes(orvaneApp.notifier);

    if (const std::optional<int> status = orvaneApp.initApplication()) return orvaneApp.exitInstance(*status);
    if (!orvaneApp.initInstance()) return orvaneApp.exitInstance(orvaneApp.requestedExit().value_or(1));
    // A headless run may have ended already, inside a box that start-up showed.
    if (const std::optional<int> status = orvaneApp.requestedExit()) return orvaneApp.exitInstance(*status);
    return orvaneApp.exitInstance(QApplication::exec());
}
