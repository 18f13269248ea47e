// vorlane-cli: tries a capture station's card from the command line, checks
// that a station's DLLs are in place, and runs the demo on the virtual card.
// It is a host like any other: it reaches the card only through Vorlane's
// five exports. It loads Vorlane.dll at run time, so that it starts and
// explains itself on a station where a DLL is missing or of the wrong kind.
#include <cstdio>
#include <string>

#include "commands.h"
#include "core/cli_options.h"

namespace {

using namespace cli;

const char kHelp[] =
    "vorlane-cli: try the frame-grabber card through Vorlane.dll.\n"
    "\n"
    "Usage:\n"
    "  vorlane-cli preview [options]      open the card, show the live picture on the\n"
    "                                     screen, then save the last frame or just close\n"
    "  vorlane-cli grey SRC.bmp DST.bmp   convert a 24-bit BMP file to an 8-bit grey one\n"
    "  vorlane-cli record FILE.avi [--codec mjpeg|raw] [--quality Q] [--rate R]\n"
    "                     [--continue] [preview options]\n"
    "                                     read every frame the card finishes from its\n"
    "                                     driver into one AVI file, R frames a second\n"
    "                                     (25), Motion JPEG of quality Q (1 to 100, 90)\n"
    "                                     or raw; the figures go to FILE.txt. Where the\n"
    "                                     volume takes no larger file (FAT32: 4 GB), it\n"
    "                                     goes on in FILE_002.avi, FILE_003.avi, ...;\n"
    "                                     --continue mends the last part of a recording\n"
    "                                     that was cut and goes on in the next\n"
    "  vorlane-cli record FOLDER [--rate R] [preview options]\n"
    "                                     the same frames as FOLDER\\000001.bmp, ...\n"
    "                                     with FOLDER\\recording.txt; at most R a second\n"
    "  vorlane-cli mend FILE.avi          finish a recording that was cut (killed, power\n"
    "                                     lost, disk full) in place: its last segment's\n"
    "                                     indexes, sizes and counts; one line says what\n"
    "                                     it found and wrote\n"
    "  vorlane-cli reset                  set the card's three A/D adjustments to 128\n"
    "  vorlane-cli check [--open]         where Vorlane.dll and CG400D32.dll were found,\n"
    "                                     their bitness, version and exports; --open\n"
    "                                     also opens the card at --x, --y and counts\n"
    "                                     its frames (its A/D adjustments stay as they are)\n"
    "  vorlane-cli --help                 this text\n"
    "\n"
    "Preview options:\n"
    "  --x X, --y Y     screen position of the picture's top-left corner (100, 100)\n"
    "  --height H       picture height, 80 to 576, rounded down to a multiple of 16;\n"
    "                   the width is 3/4 of it (480, giving 360 x 480)\n"
    "  --mode M         0 or grey (8-bit), 1 or rgb24, 2 or rgb16, 3 or rgb15 (1)\n"
    "  --seconds S      how long the preview runs; 0 runs until Ctrl+C or until\n"
    "                   the keys window is closed (5)\n"
    "  --save FILE      save the last frame painted as a 24-bit BMP file\n"
    "  --grey FILE      save it as an 8-bit grey BMP file as well\n"
    "  --scene PICTURE  virtual card only: show this 24-bit BMP picture instead of\n"
    "                   the built-in test scene\n"
    "  --scene FOLDER   virtual card only: play the folder's 24-bit BMP pictures in\n"
    "                   name order, 25 a second, looping\n"
    "  --scene FILE.avi virtual card only: play this recording at its own rate,\n"
    "                   looping\n"
    "  --no-window      no keys window: the A/D chords are then not read\n"
    "\n"
    "record is the only command that calls CG400D32.dll itself, as Vorlane's\n"
    "preview does; it paints the frames it reads at --x, --y (not with\n"
    "--no-window). It refuses a FILE.avi, FILE.txt or part that exists (but for\n"
    "--continue), and a FOLDER that already holds BMP files or a recording.txt:\n"
    "nothing is overwritten. Its --save and --grey files must lie outside FOLDER,\n"
    "and may not name FILE.avi, FILE.txt or a part of the recording; --grey needs\n"
    "--save.\n"
    "A slow disk costs frames, which are counted, never the reading's pace; a disk\n"
    "nearly full ends the recording while it still has room to close the file, a\n"
    "full one keeps what was written, and a file cut anywhere plays up to its last\n"
    "whole frame (mend then gives it the index that players reading only the index\n"
    "need). A card that delivers no frame for 2 s is said on the console. The\n"
    "figures give the frames kept and a second, those not kept and why, the\n"
    "seconds without a frame, the height, colour mode and A/D values.\n"
    "\n"
    "Every command also takes --report FILE: it then writes its figures to FILE\n"
    "as key=value lines (frames_painted, frames_per_second, card_reads, card_ad1,\n"
    "card_ad2, card_ad4, frame_saved, grey_saved, card_opens, pictures_kept,\n"
    "pictures_dropped, parts, exit_status, ...),\n"
    "for scripts. While a preview runs the file is renewed with each count and\n"
    "holds running=1; exit_status comes last, when the program ends.\n"
    "\n"
    "While the preview runs, the console counts the pictures that appear on the\n"
    "screen and their rate (and, on the virtual card, the frames it delivered and\n"
    "its A/D values). A small window beside the picture lists the chords that step\n"
    "the card's A/D adjustments; they work while that window has the focus.\n"
    "Ctrl+C or closing that window ends the preview early; the frame is still saved.\n"
    "Closing the console, logging off or shutting down ends it the same way, after\n"
    "the frame or the recording is written (four seconds at most).\n"
    "\n"
    "Vorlane.dll is looked for beside this program, then in the system folders,\n"
    "the current folder and on the PATH; the card's driver CG400D32.dll beside\n"
    "Vorlane.dll first, then in the same places. Both must be of this program's\n"
    "bitness; only the commands that use them need them.\n"
    "Vorlane.dll may show its own message boxes (for example when the card cannot\n"
    "be opened); press OK and this program reports the failure.\n"
    "\n"
    "Exit status: 0 done (mend: also a file that needed nothing, left as it was);\n"
    "1 Vorlane reported a failure (the card did not open or did not close, a frame\n"
    "was not saved or converted; check --open: also no picture painted, or the\n"
    "count interrupted; record: the card delivered no picture; mend: no room for\n"
    "the index under the file system's largest file, or a write failed), or the\n"
    "report was not written;\n"
    "2 wrong command line (record: also a file or folder it may not use, --save or\n"
    "--grey inside it or naming its files, or any picture, file or figures that\n"
    "could not be written or renamed, a disk full or nearly full among others,\n"
    "--continue with nothing to go on with or a last part it may not mend; mend: a\n"
    "file it leaves untouched: missing, open in another program such as the\n"
    "recorder, not a recording of record, or holding no whole frame);\n"
    "3 Vorlane.dll or CG400D32.dll is missing or cannot be used (the message says\n"
    "which, why, and what to do); 4 (check) the virtual card lies where a host or\n"
    "Vorlane.dll may load it.\n";

struct Command {
    const char *name;
    int (*run)(const Arguments &args, Report &report);
};

const Command kCommands[] = {
    {"preview", PreviewCommand},
    {"grey", GreyCommand},
    {"reset", ResetCommand},
    {"check", CheckCommand},
    {"record", RecordCommand},
    {"mend", MendCommand},
};

// The command's status, once its report, when one was asked for, is in place.
int Run(const Command &command, Arguments args) {
    std::string reportPath;
    const std::string problem = TakeReportOption(args, reportPath);
    if (!problem.empty()) return Usage(problem);
    Report report(reportPath);
    report.Set(report_key::kCommand, std::string(command.name));
    if (!report.Write()) {
        std::fprintf(stderr, "vorlane-cli: could not write the report to %s\n", reportPath.c_str());
        return kExitFailed;
    }
    return WriteLastReport(report, command.run(args, report));
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "/?" || name == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    for (const Command &command : kCommands)
        if (name == command.name) return Run(command, Arguments(argv + 2, argv + argc));
    return Usage("unknown command " + name);
}
