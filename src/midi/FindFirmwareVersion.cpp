#include "FindFirmwareVersion.h"

#include "midi/DeviceMessages.h"

FindFirmwareVersion::FindFirmwareVersion (MidiManager::Ptr manager) : midiManager (std::move (manager)) {}

FindFirmwareVersion::~FindFirmwareVersion()
{
    stopTimer();
}

void FindFirmwareVersion::timerCallback()
{
    midiManager->sendMessageToAllOutputs (DeviceMessages::identityRequest());
}
