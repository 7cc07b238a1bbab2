#include "MidiStreamParser.h"

int MidiStreamParser::dataBytesFor (juce::uint8 status)
{
    switch (status & 0xF0)
    {
        case 0xC0:
        case 0xD0: return 1;
        case 0xF0: break;
        default: return 2;
    }
    switch (status)
    {
        case 0xF1:
        case 0xF3: return 1;
        case 0xF2: return 2;
        default: return 0;
    }
}

void MidiStreamParser::reset()
{
    pending.clear();
    complete.clear();
    runningStatus = 0;
    dataBytesNeeded = 0;
    inSysex = false;   // the next F0 clears sysexOverflowed
}

bool MidiStreamParser::push (juce::uint8 byte)
{
    if (byte >= 0xF8)
    {
        // Real-time bytes may sit anywhere, even inside SysEx, and change nothing.
        complete.assign (1, byte);
        return true;
    }

    if (inSysex)
    {
        if (byte == 0xF7)
        {
            inSysex = false;
            if (sysexOverflowed)
            {
                pending.clear();
                return false;
            }
            pending.push_back (byte);
            complete.swap (pending);
            pending.clear();
            return true;
        }
        if (byte < 0x80)
        {
            // The bound counts the whole message: keep room for the F7.
            if (pending.size() + 1 < maxSysexBytes)
                pending.push_back (byte);
            else
                sysexOverflowed = true;
            return false;
        }
        // Any other status byte abandons the unfinished SysEx.
        inSysex = false;
        pending.clear();
    }

    if (byte >= 0x80)
    {
        pending.assign (1, byte);
        if (byte == 0xF0)
        {
            inSysex = true;
            sysexOverflowed = false;
            runningStatus = 0;
            return false;
        }
        if (byte == 0xF7)
        {
            pending.clear();   // a stray end of SysEx
            return false;
        }
        runningStatus = byte < 0xF0 ? byte : 0;
        dataBytesNeeded = dataBytesFor (byte);
        if (dataBytesNeeded == 0)
        {
            complete.swap (pending);
            pending.clear();
            return true;
        }
        return false;
    }

    // A data byte.
    if (pending.empty())
    {
        if (runningStatus == 0)
            return false;   // nothing to attach it to
        pending.assign (1, runningStatus);
        dataBytesNeeded = dataBytesFor (runningStatus);
    }
    pending.push_back (byte);
    if ((int) pending.size() < dataBytesNeeded + 1)
        return false;
    complete.swap (pending);
    pending.clear();
    return true;
}
