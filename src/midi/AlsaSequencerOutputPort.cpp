#include "AlsaSequencerOutputPort.h"

std::unique_ptr<AlsaSequencerOutputPort> AlsaSequencerOutputPort::open (const juce::String& name,
                                                                        const juce::String& clientName,
                                                                        int destinationClient,
                                                                        int destinationPort)
{
    snd_seq_t* handle = nullptr;
    // Non-blocking: a send never waits for the peer.
    if (snd_seq_open (&handle, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0 || handle == nullptr)
        return nullptr;

    snd_seq_set_client_name (handle, clientName.toRawUTF8());
    const auto port = snd_seq_create_simple_port (handle, name.toRawUTF8(), SND_SEQ_PORT_CAP_READ,
                                                  SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_to (handle, port, destinationClient, destinationPort) < 0)
    {
        snd_seq_close (handle);
        return nullptr;
    }
    return std::unique_ptr<AlsaSequencerOutputPort> (
        new AlsaSequencerOutputPort (handle, port, destinationClient, destinationPort, name));
}

AlsaSequencerOutputPort::AlsaSequencerOutputPort (snd_seq_t* handle, int port, int client, int clientPort, juce::String n)
    : seq (handle),
      ownPort (port),
      destinationClient (client),
      destinationPort (clientPort),
      name (std::move (n)),
      sender ([this] (snd_seq_event_t& event) {
          snd_seq_ev_set_source (&event, ownPort);
          snd_seq_ev_set_dest (&event, destinationClient, destinationPort);
          snd_seq_ev_set_direct (&event);
          return snd_seq_event_output_direct (seq, &event) >= 0;
      })
{
}

AlsaSequencerOutputPort::~AlsaSequencerOutputPort()
{
    // Closing the client removes its port and the connection with it.
    snd_seq_close (seq);
}

bool AlsaSequencerOutputPort::sendMessageNow (const juce::MidiMessage& message)
{
    return sender.send (message.getRawData(), message.getRawDataSize());
}
