#pragma once
// The program's command line, read before the application object exists, so
// that --help, --version and a wrong argument need no display and open no
// window. Qt's own options that a user may give (-platform, -display) are
// handed on to Qt; everything else is refused.

#include <cstdio>
#include <optional>
#include <vector>

struct CommandLine {
    // Set when the program is to end at once with this status: after --help
    // or --version (0), or after a refused argument (2).
    std::optional<int> exitCode;
    // The program's name and the options meant for Qt, in their order, for
    // the application object, then a null pointer as at the end of argv
    // (not counted in argc). The pointers point into the argv given.
    std::vector<char*> qtArguments;
    // What was asked for, once the whole line has been read.
    bool help = false;
    bool version = false;
    const char* loadPath = nullptr;
    std::vector<char*> keys;
    // The words after --gtfs, for the timetable command.
    std::vector<char*> gtfs;
    // The sign also on a web page (--web, --web=PORT, --web-adresse):
    // the port, 0 for the usual one, and the address, none for loopback.
    bool web = false;
    unsigned webPort = 0;
    const char* webAddress = nullptr;
    // IBIS: the device the telegrams go to (--ibis), the device whose
    // telegrams the sign shows (--ibis-sign), each a serial device or
    // tcp:HOST:PORT, and the line's settings.
    const char* ibisDevice = nullptr;
    const char* ibisSignDevice = nullptr;
    unsigned ibisBaud = 1200;
    unsigned ibisDataBits = 7;
    char ibisParity = 'E'; // 'N', 'E' or 'O'
    unsigned ibisStopBits = 2;
    // The settings as given, checked once the whole line is read.
    const char* ibisBaudGiven = nullptr;
    const char* ibisDataBitsGiven = nullptr;
    const char* ibisParityGiven = nullptr;
    const char* ibisStopBitsGiven = nullptr;
};

// Reads argv, all of it, before acting on it: --load and --press are done
// (the file first, then the keys) only when every word is one the program
// uses, and --help or --version printed only then.
// Reads argv; what --help and --version print goes to `out`, the one line
// about a refused argument to `err`.
CommandLine parseCommandLine(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);
