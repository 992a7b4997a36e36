#pragma once

// The two code pages, by their Windows numbers, that decide how a text travels
// through a cmd.exe script: the script is written in the ANSI code page (the one
// programs' 8-bit text is in), but cmd.exe reads a batch file in the console's
// OEM code page. On Chinese Windows both are 936; on Western Windows they differ
// (1252 and 437 or 850), and a byte above 127 then means another character to cmd.
struct CodePages
{
    unsigned ansi = 0;
    unsigned oem = 0;

    // On Windows the machine's own pair (GetACP, GetOEMCP). Elsewhere there is no
    // Windows machine to ask, so US-ASCII (20127) for both: only ASCII passes.
    static CodePages ofSystem();
};
