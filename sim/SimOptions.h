// Command line of the stand-in device program.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct SimOptions {
    std::string DeviceType = "Quintavolte 1.11";
    double StartHour = 12.0;
    double Speed = 1.0;  // simulated seconds per real second
    std::string StateFile;
    std::string LinkPath;
    std::string WriteLogPath;  // empty: no write log
    // Chip identity (ChipUID.H1, .H2, .L), from --uid: 24 hexadecimal digits, H1 first.
    std::array<uint32_t, 3> ChipUid{0x8A3C1F07u, 0x00412233u, 0x1234ABCDu};
    int Address = -1;          // -1: the saved (or default) address
    uint32_t LineRate = 9600;  // baud the replies are paced at (10 bits a character); 0: unpaced
    // Fault switches.
    bool Silent = false;
    uint32_t DelayMs = 0;
    uint32_t DropEvery = 0;  // 0 = never
    uint32_t BadCrcEvery = 0;
    uint32_t GarbageEvery = 0;
    std::string ExceptionVar;    // empty = none
    std::string RefuseWriteVar;  // writes touching it get exception 4, reads are served; empty = none
    uint32_t LockAfter = 0;      // after this many stored writes only the save command is taken; 0 = never
    bool LogWords = false;       // the write log also shows each variable's register words
    // Firmware limits of reads: the most registers one read may span (longer ones get
    // exception 3), and no reads spanning two variables (exception 2).
    uint32_t MaxRead = 125;
    bool NoBlockReads = false;
    // Line conditions of real adapters.
    bool Echo = false;          // every received byte goes straight back (local echo)
    int GarbageByte = -1;       // the one noise byte of --garbage-every; -1: the noise sequence
    uint32_t GarbageGapMs = 0;  // silence between the noise and the reply
    uint32_t SplitGapMs = 0;    // a pause in the middle of every reply; 0 = none
    uint32_t ForeignEvery = 0;  // another unit's frame right before every N-th reply; 0 = never
    uint32_t Baud = 0;          // answers only while the terminal runs at this rate; 0 = any
    bool Help = false;
    bool ShowVersion = false;  // --version without a firmware version: the program's own
};

// False with a message in *error for an unknown option, a missing or bad argument.
bool ParseSimOptions(const std::vector<std::string> &args, SimOptions *options, std::string *error);
const char *SimUsage();
